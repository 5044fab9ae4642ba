// Sensor serial numbers: reading the module's list, saving and importing it,
// writing it into the module (by hand or automatically), the module's search
// and the read-in of one sensor. The rules, file format, replies and texts are
// the serials library's; this file reads boxes, sends and writes controls.

#include "frmMain.h"

#include "dialogs.h"
#include "program_folder.h"

#include "config/settings_file.h"
#include "protocol/hex_text.h"
#include "serials/import_list.h"
#include "serials/serial_file.h"
#include "serials/serial_replies.h"
#include "serials/serial_requests.h"
#include "serials/serial_texts.h"
#include "serials/write_steps.h"

#include <QDir>
#include <QFileInfo>
#include <QTextCursor>

namespace {
const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);
const QColor Black(0, 0, 0);

// The serial-number text files live in txt/ of the program's folder.
QString serialFilesFolder()
{
    const QString folder = QDir(programFolder()).filePath(QStringLiteral("txt"));
    QDir().mkpath(folder);
    return folder;
}

// Appends `text` to the end of `edit` with `colour` and weight (the widget's own when not given).
void appendText(QTextEdit* edit, const QString& text, const QColor& colour,
                std::optional<bool> bold = std::nullopt)
{
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(colour);
    format.setFontWeight(bold.value_or(edit->font().bold()) ? QFont::Bold : QFont::Normal);
    cursor.insertText(text, format);
}

void setBold(QTextEdit* edit, bool bold)
{
    QFont font = edit->font();
    font.setBold(bold);
    edit->setFont(font);
}
} // namespace

// ---- Boxes

std::optional<QVector<quint8>> frmMain::ReadByteBoxes(std::initializer_list<QLineEdit*> boxes,
                                                      protocol::Rounding rounding)
{
    QVector<quint8> values;
    for (QLineEdit* box : boxes) {
        const std::optional<int> value = protocol::byteValue(box->text(), rounding);
        if (!value) {
            dialogs::MsgBox(this, protocol::rangeMessage(CaptionOf(box), 0, 255), QString(),
                            dialogs::Icon::Warning);
            return std::nullopt;
        }
        values.append(quint8(*value));
    }
    return values;
}

QString frmMain::CaptionOf(const QWidget* box) const
{
    // Every box is named by the label whose buddy it is.
    for (const QLabel* label : findChildren<QLabel*>())
        if (label->buddy() == box)
            return label->text();
    return box->objectName();
}

void frmMain::StopReadingLoops()
{
    Timer7->setEnabled(false);
    Timer2->setEnabled(false);
    m_passQueued = false;
}

// ---- Reading the module's list

void frmMain::cmdReadSensorID_Click()
{
    StopReadingLoops();
    txtShowID->setVisible(true);
    ReadSensorID();
}

void frmMain::ReadSensorID()
{
    const std::optional<QVector<quint8>> bytes =
        ReadByteBoxes({txtSta, txtChnId, TXTsensorID}, protocol::Rounding::Floor);
    if (!bytes)
        return;
    SendRequest(serials::readListRequest((*bytes)[0], (*bytes)[1], (*bytes)[2]));
}

bool frmMain::readListReply(const requests::Reply& reply)
{
    if (!ReplyUsable(reply, serials::judgeListReply(reply.bytes, reply.request)))
        return false;
    const requests::Context& asked = reply.request.context;
    const QVector<serials::SerialNumber> found = serials::serialsInListReply(reply.bytes, asked.count);
    QString list = serials::listHeading(asked.station, asked.channel, asked.count) + QLatin1Char('\n');
    QString numbers = QStringLiteral("  \n\n");
    for (int i = 0; i < found.size(); ++i) {
        const QString text = serials::serialText(found[i]);
        ReadSnList[i] = text;
        list += serials::listLine(text, serials::passesListRule(found[i])) + QLatin1Char('\n');
        numbers += serials::twoDigits(i + 1) + QLatin1Char('\n');
    }
    m_lastListCount = int(found.size());
    txtSn->setPlainText(list);
    txtShowID->setPlainText(numbers);
    return true;
}

void frmMain::cmdSaveSn_Click()
{
    StopReadingLoops();
    const std::optional<int> count =
        protocol::wholeNumber(TXTsensorID->text(), protocol::Rounding::Floor, 0, serials::MaxListEntries);
    if (!count) {
        dialogs::MsgBox(this, protocol::rangeMessage(CaptionOf(TXTsensorID), 0, serials::MaxListEntries),
                        QString(), dialogs::Icon::Warning);
        return;
    }
    if (m_lastListCount < 0) {
        dialogs::MsgBox(this, serials::noListReadMessage(), QString(), dialogs::Icon::Warning);
        return;
    }
    if (*count > m_lastListCount) {
        dialogs::MsgBox(this, serials::saveMoreThanReadMessage(m_lastListCount), QString(),
                        dialogs::Icon::Warning);
        return;
    }
    dialogs::FileDialogRequest ask;
    ask.save = true;
    ask.folder = serialFilesFolder();
    ask.filter = QStringLiteral("txt|*.txt");
    ask.confirmOverwrite = true;
    const QString chosen = dialogs::FileDialog(this, ask);
    if (chosen.isEmpty())
        return;
    const QString path = serials::withTxtSuffix(chosen);
    // The dialog asked about the name it was given; the one with ".txt" added is asked about here.
    if (path != chosen && QFileInfo::exists(path) &&
        dialogs::MsgBox(this, serials::replaceFileQuestion(QDir::toNativeSeparators(path)), QString(),
                        dialogs::Icon::Question, dialogs::Buttons::OkCancel) != dialogs::AnswerOk)
        return;
    if (!config::saveWholeFile(path, serials::formatSerialFile(ReadSnList.mid(0, *count)))) {
        dialogs::MsgBox(this, serials::fileNotWrittenMessage(QDir::toNativeSeparators(path)), QString(),
                        dialogs::Icon::Warning);
        return;
    }
    if (*count > serials::MaxImportEntries)
        dialogs::MsgBox(this, serials::savedBeyondImportMessage(*count), QString(),
                        dialogs::Icon::Information);
}

void frmMain::cmdClearSn_Click()
{
    txtSn->clear();
}

// ---- Importing a file

void frmMain::cmdOpenFile_Click()
{
    Timer5->setInterval(0); // an automatic write must not go on with a list that is being replaced
    StopReadingLoops();
    dialogs::FileDialogRequest ask;
    ask.folder = serialFilesFolder();
    ask.filter = QStringLiteral("序列号文件 (*.txt)|*.txt|所有文件（*）|*.*");
    ask.title = QStringLiteral("打开文件");
    const QString path = dialogs::FileDialog(this, ask);
    if (path.isEmpty())
        return; // cancelled: nothing changes

    const config::FileText file = config::readSettingsFile(path, serials::MaxSerialFileBytes);
    if (file.status != config::SettingsLoad::Ok) {
        dialogs::MsgBox(this, serials::fileNotReadMessage(QDir::toNativeSeparators(path)), QString(),
                        dialogs::Icon::Warning);
        return;
    }
    const serials::ImportedFile imported = serials::parseSerialFile(file.bytes);

    // The window shows what was read, whether or not the import holds.
    setBold(txtSn, false);
    QString list;
    if (imported.error != serials::ImportedFile::BadCount)
        list = serials::importHeading(imported.announcedCount) + QLatin1Char('\n');
    QString numbers = QStringLiteral(" \n");
    for (int i = 0; i < imported.fields.size(); ++i) {
        list += serials::importLine(imported.fields[i], imported.valid[i]) + QLatin1Char('\n');
        numbers += serials::twoDigits(i + 1) + QLatin1Char('\n');
    }
    txtSn->setPlainText(list);
    txtShowID->setPlainText(numbers);

    // Nothing of a failed import, nor of an earlier file, is left to be written.
    const QStringList firstParts =
        imported.fields.isEmpty() ? QStringList() : serials::entryParts(imported.fields.constFirst());
    if (imported.error != serials::ImportedFile::None || imported.announcedCount <= 0 ||
        firstParts.size() < int(txtSenseSn.size())) {
        serials::clearImportList();
        dialogs::MsgBox(this, serials::fileFormatMessage());
        return;
    }
    serials::clearImportList();
    for (int i = 0; i < imported.fields.size(); ++i)
        serials::ImportSnList[i + 1] = imported.fields[i];
    serials::ImportSnCount = imported.announcedCount;
    LoadEntry(1);
}

// ---- Writing into the module

void frmMain::LoadEntry(int position)
{
    const QStringList parts = serials::entryParts(serials::ImportSnList.value(position));
    for (int j = 0; j < int(txtSenseSn.size()); ++j)
        txtSenseSn[size_t(j)]->setText(parts.value(j));
}

bool frmMain::LoadWritableEntry(int position)
{
    const QString entry = serials::ImportSnList.value(position);
    if (!serials::serialFromEntry(entry)) {
        dialogs::MsgBox(this, serials::badEntryMessage(position, entry), QString(), dialogs::Icon::Warning);
        return false;
    }
    LoadEntry(position);
    return true;
}

bool frmMain::WriteSensorSn()
{
    txtState->clear();
    txtCommand->clear();
    const std::optional<QVector<quint8>> bytes =
        ReadByteBoxes({txtInputAddid, txtObjChannelID, txtObjSensorid}, protocol::Rounding::Floor);
    if (!bytes)
        return false;
    QStringList parts;
    for (const QLineEdit* box : txtSenseSn)
        parts << box->text();
    const std::optional<serials::SerialNumber> serial = serials::serialFromParts(parts);
    if (!serial) {
        dialogs::MsgBox(this, serials::verificationWindowMessage(), QString(), dialogs::Icon::Warning);
        return false;
    }
    return SendRequest(serials::writeRequest((*bytes)[0], (*bytes)[1], (*bytes)[2], *serial));
}

std::optional<int> frmMain::WritePosition()
{
    const std::optional<int> position =
        protocol::wholeNumber(txtObjSensorid->text(), protocol::Rounding::Floor, 0, 255);
    if (!position)
        dialogs::MsgBox(this, protocol::rangeMessage(CaptionOf(txtObjSensorid), 0, 255), QString(),
                        dialogs::Icon::Warning);
    return position;
}

void frmMain::cmdFirst_Click()
{
    txtObjSensorid->setText(QStringLiteral("1"));
    StopReadingLoops();
    txtCommand->clear();
    if (serials::ImportSnCount < 1) {
        dialogs::MsgBox(this, serials::nothingImportedMessage());
        return;
    }
    if (LoadWritableEntry(1))
        WriteSensorSn();
}

void frmMain::cmdWriteNext_Click()
{
    StopReadingLoops();
    const std::optional<int> position = WritePosition();
    if (!position)
        return;
    const serials::WriteStep step =
        serials::nextManualStep(*position, SensorsPerChannel, serials::ImportSnCount);
    if (step.kind == serials::WriteStep::AlreadyLast) {
        dialogs::MsgBox(this, serials::alreadyLastMessage(), QString(), dialogs::Icon::None,
                        dialogs::Buttons::OkCancel);
        return;
    }
    txtObjSensorid->setText(QString::number(step.position));
    if (step.kind == serials::WriteStep::NothingImported)
        dialogs::MsgBox(this, serials::nothingImportedMessage());
    if (step.kind == serials::WriteStep::Write && LoadWritableEntry(step.position))
        WriteSensorSn();
}

void frmMain::cmdWriteAllSn_Click()
{
    StopReadingLoops();
    txtObjSensorid->setText(QStringLiteral("0"));
    txtSn->clear();
    if (serials::ImportSnCount < 1) {
        dialogs::MsgBox(this, serials::nothingImportedMessage());
        return;
    }
    if (!MSComm1->PortOpen()) {
        dialogs::MsgBox(this, serials::portClosedMessage(), QString(), dialogs::Icon::Warning);
        return;
    }
    const std::optional<int> interval =
        protocol::wholeNumber(txtTimer5->text(), protocol::Rounding::CutOff, 1, 65535);
    if (!interval) {
        dialogs::MsgBox(this, protocol::rangeMessage(CaptionOf(txtTimer5), 1, 65535), QString(),
                        dialogs::Icon::Warning);
        return;
    }
    Timer5->setInterval(*interval);
}

void frmMain::StopAutomaticWrite(const QString& message)
{
    Timer5->setInterval(0);
    dialogs::MsgBox(this, message, QString(), dialogs::Icon::None, dialogs::Buttons::OkCancel);
}

void frmMain::Timer5_Timer()
{
    // One write on the line at a time: a tick while the last write awaits its
    // reply, or while a reading has the line, leaves the position alone.
    if (m_requests->lineBusy() ||
        (m_requests->replyAwaited() && m_requests->pending().context.kind == protocol::ModeWriteSerial))
        return;
    const std::optional<int> position =
        protocol::wholeNumber(txtObjSensorid->text(), protocol::Rounding::Floor, 0, 255);
    if (!position) {
        StopAutomaticWrite(protocol::rangeMessage(CaptionOf(txtObjSensorid), 0, 255));
        return;
    }
    const serials::WriteStep step =
        serials::nextAutomaticStep(*position, SensorsPerChannel, serials::ImportSnCount);
    txtObjSensorid->setText(QString::number(step.position));
    if (step.kind == serials::WriteStep::Finished) {
        StopAutomaticWrite(serials::finishedMessage());
        return;
    }
    if (step.kind != serials::WriteStep::Write)
        return;
    const QString entry = serials::ImportSnList.value(step.position);
    if (!serials::serialFromEntry(entry)) {
        // The run did not finish: it stops here, and says why.
        StopAutomaticWrite(serials::badEntryMessage(step.position, entry));
        return;
    }
    LoadEntry(step.position);
    if (!WriteSensorSn())
        StopAutomaticWrite(MSComm1->PortOpen() ? serials::verificationWindowMessage()
                                               : serials::portClosedMessage());
}

void frmMain::cmdStopWrite_Click()
{
    Timer5->setInterval(0);
}

void frmMain::ShowWriteResult(int channel, int position, bool success)
{
    // The window is rewritten as plain text, so only the newest result line keeps its colour.
    txtSn->setPlainText(txtSn->toPlainText());
    appendText(txtSn, serials::writeResultLine(channel, position, success) + QLatin1Char('\n'),
               success ? Blue : Red, false);
}

bool frmMain::writeReply(const requests::Reply& reply)
{
    // Taken as written only when the module now holds the serial number that was sent.
    const std::optional<serials::SerialNumber> held = serials::serialInReply(reply.bytes);
    const bool success =
        held && serials::passesReplyRule(*held) && *held == serials::serialWritten(reply.request);
    ShowWriteResult(reply.request.context.channel, reply.request.context.position, success);
    return true;
}

// ---- Search and read-in

void frmMain::cmdAutoSearch_Click()
{
    txtShowID->setVisible(false);
    if (!StartModuleCommand(txtSearchChannel))
        return;
    const std::optional<QVector<quint8>> bytes =
        ReadByteBoxes({txtSearchAdd, txtSearchChannel, txtSearchNum}, protocol::Rounding::HalfToEven);
    if (!bytes)
        return;
    SendRequest(serials::searchRequest((*bytes)[0], (*bytes)[1], (*bytes)[2]));
}

bool frmMain::searchReply(const requests::Reply& reply)
{
    if (!ReplyUsable(reply, serials::judgeSearchReply(reply.bytes, reply.request)))
        return false;
    const requests::Context& asked = reply.request.context;
    setBold(txtSn, true);
    txtSn->clear();
    appendText(txtSn, serials::deviceHeading(asked.station) + QLatin1Char('\n'), Black, true);
    const QVector<int> found = serials::sensorsFoundInSearchReply(reply.bytes, asked.count);
    for (int i = 0; i < found.size(); ++i)
        appendText(txtSn, serials::searchLine(asked.channel + i, found[i]) + QLatin1Char('\n'), Blue, false);
    return true;
}

void frmMain::cmdAutoInput_Click()
{
    txtShowID->setVisible(false);
    if (!StartModuleCommand(txtObjChnid))
        return;
    const std::optional<QVector<quint8>> bytes =
        ReadByteBoxes({txtObjStationID, txtObjChnid, txtSensorReadID}, protocol::Rounding::Floor);
    if (!bytes)
        return;
    const quint8 position = (*bytes)[2];
    SendRequest(serials::readInRequest((*bytes)[0], (*bytes)[1], position));
    // The next click reads in the next position, while the operator swaps the sensor.
    txtSensorReadID->setText(QString::number(position < SensorsPerChannel ? position + 1 : 1));
}

bool frmMain::readInReply(const requests::Reply& reply)
{
    if (!ReplyUsable(reply, serials::judgeReadInReply(reply.bytes, reply.request)))
        return false;
    const requests::Context& asked = reply.request.context;
    const std::optional<serials::SerialNumber> serial = serials::serialInReply(reply.bytes);
    const bool recognised = serial && serials::passesReplyRule(*serial);
    setBold(txtSn, true);
    txtSn->clear();
    appendText(txtSn, serials::deviceHeading(asked.station) + QLatin1Char('\n'), Black);
    appendText(txtSn,
               serials::readInLine(asked.channel, asked.position, recognised) + QStringLiteral("\n\"") +
                   (serial ? serials::serialText(*serial) : QString()) + QStringLiteral("\"\n"),
               recognised ? Blue : Red);
    return true;
}
