// Sensor serial numbers: reading the module's list, saving and importing it,
// writing it into the module (by hand or automatically), the module's search
// and the read-in of one sensor. The rules, file format, replies and texts are
// the serials library's; this file reads boxes, sends and writes controls.

#include "main_window.h"

#include "dialogs.h"
#include "line_gutter.h"
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

// Appends `text` to the end of `edit` in `colour`, bold or not; the lines before keep theirs.
void appendText(QTextEdit* edit, const QString& text, const QColor& colour, bool bold = false)
{
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(colour);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    cursor.insertText(text, format);
}
// Replaces what `edit` shows with `text` in its plain format: the bold or colour
// of what was there before (a read-in's bold lines) does not carry over.
void showPlain(QTextEdit* edit, const QString& text)
{
    edit->clear();
    edit->setCurrentCharFormat(QTextCharFormat());
    edit->setPlainText(text);
}
} // namespace

// ---- Reading the module's list

void MainWindow::wireSerialCommands()
{
    connect(m_serials, &serials::SerialNumbersController::listRead, this, &MainWindow::showSerialList);
    connect(m_serials, &serials::SerialNumbersController::searchAnswered, this, &MainWindow::showSearchResult);
    connect(m_serials, &serials::SerialNumbersController::readInAnswered, this, &MainWindow::showReadIn);
    connect(m_serials, &serials::SerialNumbersController::writeAnswered, this, &MainWindow::showWriteResult);
}

void MainWindow::readSerialList()
{
    stopReadingLoops();
    txtShowID->setVisible(true);
    const std::optional<QVector<quint8>> bytes =
        readByteBoxes({txtSta, txtChnId, TXTsensorID}, protocol::Rounding::Floor);
    if (!bytes)
        return;
    const requests::Request request = serials::readListRequest((*bytes)[0], (*bytes)[1], (*bytes)[2]);
    const auto submitted = m_serials->readList((*bytes)[0], (*bytes)[1], (*bytes)[2]);
    if (submitted != requests::RequestCore::Submitted::Queued)
        showNotSubmitted(request, submitted);
}

void MainWindow::showSerialList(const requests::Context& asked, const QVector<serials::SerialNumber>& found)
{
    QString list = serials::listHeading(asked.station, asked.channel, asked.count) + QLatin1Char('\n');
    QString numbers = QStringLiteral("  \n\n");
    for (int i = 0; i < found.size(); ++i) {
        const QString text = serials::serialText(found[i]);
        readSerialTexts[i] = text;
        list += serials::listLine(text, serials::passesListRule(found[i])) + QLatin1Char('\n');
        numbers += serials::twoDigits(i + 1) + QLatin1Char('\n');
    }
    m_lastListCount = int(found.size());
    m_lastListChannel = asked.channel;
    showPlain(txtSn, list);
    showPositionNumbers(numbers);
}

void MainWindow::showPositionNumbers(const QString& numbers)
{
    txtShowID->setPlainText(numbers);
    txtShowID->setVisible(true);
    m_positionGutter->align();
}

void MainWindow::saveSerialList()
{
    stopReadingLoops();
    const std::optional<int> count =
        protocol::wholeNumber(TXTsensorID->text(), protocol::Rounding::Floor, 0, serials::MaxListEntries);
    if (!count) {
        dialogs::MsgBox(this, protocol::rangeMessage(captionOf(TXTsensorID), 0, serials::MaxListEntries),
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
    ask.fileName = serials::serialFileName(m_lastListChannel);
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
    if (!config::saveWholeFile(path, serials::formatSerialFile(readSerialTexts.mid(0, *count)))) {
        dialogs::MsgBox(this, serials::fileNotWrittenMessage(QDir::toNativeSeparators(path)), QString(),
                        dialogs::Icon::Warning);
        return;
    }
    // Said where the list is, not in a box to be closed.
    appendText(txtSn, serials::savedToLine(*count, QDir::toNativeSeparators(path)) + QLatin1Char('\n'), Blue);
    if (*count > serials::MaxImportEntries)
        dialogs::MsgBox(this, serials::savedBeyondImportMessage(*count), QString(),
                        dialogs::Icon::Information);
}

void MainWindow::clearObservationWindow()
{
    txtSn->clear();
}

// ---- Importing a file

void MainWindow::importSerialFile()
{
    Timer5->setInterval(0); // an automatic write must not go on with a list that is being replaced
    stopReadingLoops();
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
    QString list;
    if (imported.error != serials::ImportedFile::BadCount)
        list = serials::importHeading(imported.announcedCount) + QLatin1Char('\n');
    QString numbers = QStringLiteral(" \n");
    for (int i = 0; i < imported.fields.size(); ++i) {
        list += serials::importLine(imported.fields[i], imported.valid[i]) + QLatin1Char('\n');
        numbers += serials::twoDigits(i + 1) + QLatin1Char('\n');
    }
    showPlain(txtSn, list);
    showPositionNumbers(numbers);

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
    loadEntry(1);
}

// ---- Writing into the module

void MainWindow::loadEntry(int position)
{
    const QStringList parts = serials::entryParts(serials::ImportSnList.value(position));
    for (int j = 0; j < int(txtSenseSn.size()); ++j)
        txtSenseSn[size_t(j)]->setText(parts.value(j));
}

bool MainWindow::loadWritableEntry(int position)
{
    const QString entry = serials::ImportSnList.value(position);
    if (!serials::serialFromEntry(entry)) {
        dialogs::MsgBox(this, serials::badEntryMessage(position, entry), QString(), dialogs::Icon::Warning);
        return false;
    }
    // An entry marked [无效] on import (an empty FF ... FF, say) would overwrite the
    // module's entry with nothing usable: written only when the operator says so.
    if (!serials::passesTextRule(entry).value_or(false) &&
        dialogs::MsgBox(this, serials::writeInvalidQuestion(position, entry), QString(), dialogs::Icon::Question,
                        dialogs::Buttons::OkCancel) != dialogs::AnswerOk)
        return false;
    loadEntry(position);
    return true;
}

bool MainWindow::writeShownSerial()
{
    txtState->clear();
    txtCommand->clear();
    const std::optional<QVector<quint8>> bytes =
        readByteBoxes({txtInputAddid, txtObjChannelID, txtObjSensorid}, protocol::Rounding::Floor);
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
    ImgYellow->raise();
    const auto submitted = m_serials->write((*bytes)[0], (*bytes)[1], (*bytes)[2], *serial);
    if (submitted == requests::RequestCore::Submitted::Queued)
        return true;
    showNotSubmitted(serials::writeRequest((*bytes)[0], (*bytes)[1], (*bytes)[2], *serial), submitted);
    return false;
}

std::optional<int> MainWindow::writePosition()
{
    const std::optional<int> position =
        protocol::wholeNumber(txtObjSensorid->text(), protocol::Rounding::Floor, 0, 255);
    if (!position)
        dialogs::MsgBox(this, protocol::rangeMessage(captionOf(txtObjSensorid), 0, 255), QString(),
                        dialogs::Icon::Warning);
    return position;
}

void MainWindow::writeFirstSerial()
{
    txtObjSensorid->setText(QStringLiteral("1"));
    stopReadingLoops();
    txtCommand->clear();
    if (serials::ImportSnCount < 1) {
        dialogs::MsgBox(this, serials::nothingImportedMessage());
        return;
    }
    if (loadWritableEntry(1))
        writeShownSerial();
}

void MainWindow::writeNextSerial()
{
    stopReadingLoops();
    const std::optional<int> position = writePosition();
    if (!position)
        return;
    const serials::WriteStep step =
        serials::nextManualStep(*position, m_sensorsPerChannel, serials::ImportSnCount);
    if (step.kind == serials::WriteStep::AlreadyLast) {
        dialogs::MsgBox(this, serials::alreadyLastMessage(), QString(), dialogs::Icon::None,
                        dialogs::Buttons::OkCancel);
        return;
    }
    txtObjSensorid->setText(QString::number(step.position));
    if (step.kind == serials::WriteStep::NothingImported)
        dialogs::MsgBox(this, serials::nothingImportedMessage());
    if (step.kind == serials::WriteStep::Write && loadWritableEntry(step.position))
        writeShownSerial();
}

void MainWindow::startAutomaticWrite()
{
    stopReadingLoops();
    txtObjSensorid->setText(QStringLiteral("0"));
    txtSn->clear();
    if (serials::ImportSnCount < 1) {
        dialogs::MsgBox(this, serials::nothingImportedMessage());
        return;
    }
    if (!MSComm1->PortOpen()) {
        showPortNotOpen();
        return;
    }
    const std::optional<int> interval =
        protocol::wholeNumber(txtTimer5->text(), protocol::Rounding::CutOff, 1, 65535);
    if (!interval) {
        dialogs::MsgBox(this, protocol::rangeMessage(captionOf(txtTimer5), 1, 65535), QString(),
                        dialogs::Icon::Warning);
        return;
    }
    Timer5->setInterval(*interval);
}

void MainWindow::endAutomaticWrite(const QString& message)
{
    Timer5->setInterval(0);
    dialogs::MsgBox(this, message, QString(), dialogs::Icon::None, dialogs::Buttons::OkCancel);
}

void MainWindow::automaticWriteTick()
{
    // One write at a time: a tick while the last write waits for the line or
    // its reply leaves the position alone.
    if (m_serials->writeWaits())
        return;
    const std::optional<int> position =
        protocol::wholeNumber(txtObjSensorid->text(), protocol::Rounding::Floor, 0, 255);
    if (!position) {
        endAutomaticWrite(protocol::rangeMessage(captionOf(txtObjSensorid), 0, 255));
        return;
    }
    const serials::WriteStep step =
        serials::nextAutomaticStep(*position, m_sensorsPerChannel, serials::ImportSnCount);
    txtObjSensorid->setText(QString::number(step.position));
    if (step.kind == serials::WriteStep::Finished) {
        endAutomaticWrite(serials::finishedMessage());
        return;
    }
    if (step.kind != serials::WriteStep::Write)
        return;
    const QString entry = serials::ImportSnList.value(step.position);
    if (!serials::serialFromEntry(entry)) {
        // The run did not finish: it stops here, and says why.
        endAutomaticWrite(serials::badEntryMessage(step.position, entry));
        return;
    }
    if (!serials::passesTextRule(entry).value_or(false)) {
        // Marked [无效] on import: not written over the module's entry; the run goes on.
        const int channel =
            protocol::wholeNumber(txtObjChannelID->text(), protocol::Rounding::Floor, 0, 255).value_or(0);
        appendText(txtSn, serials::skippedLine(channel, step.position) + QLatin1Char('\n'), Red);
        return;
    }
    loadEntry(step.position);
    if (writeShownSerial())
        return;
    if (MSComm1->PortOpen())
        endAutomaticWrite(serials::verificationWindowMessage());
    else
        Timer5->setInterval(0); // the status text says the port is not open
}

void MainWindow::stopAutomaticWrite()
{
    Timer5->setInterval(0);
}

void MainWindow::showWriteResult(int channel, int position, bool success)
{
    appendText(txtSn, serials::writeResultLine(channel, position, success) + QLatin1Char('\n'),
               success ? Blue : Red);
}

// ---- Search and read-in

void MainWindow::searchSensors()
{
    txtShowID->setVisible(false);
    if (!startModuleCommand(txtSearchChannel))
        return;
    const std::optional<QVector<quint8>> bytes =
        readByteBoxes({txtSearchAdd, txtSearchChannel, txtSearchNum}, protocol::Rounding::HalfToEven);
    if (!bytes)
        return;
    const auto submitted = m_serials->search((*bytes)[0], (*bytes)[1], (*bytes)[2]);
    if (submitted != requests::RequestCore::Submitted::Queued)
        showNotSubmitted(serials::searchRequest((*bytes)[0], (*bytes)[1], (*bytes)[2]), submitted);
}

void MainWindow::showSearchResult(const requests::Context& asked, const QVector<int>& found)
{
    txtSn->clear();
    appendText(txtSn, serials::deviceHeading(asked.station) + QLatin1Char('\n'), Black, true);
    for (int i = 0; i < found.size(); ++i)
        appendText(txtSn, serials::searchLine(asked.channel + i, found[i]) + QLatin1Char('\n'), Blue);
}

void MainWindow::readInSensor()
{
    txtShowID->setVisible(false);
    if (!startModuleCommand(txtObjChnid))
        return;
    const std::optional<QVector<quint8>> bytes =
        readByteBoxes({txtObjStationID, txtObjChnid, txtSensorReadID}, protocol::Rounding::Floor);
    if (!bytes)
        return;
    const quint8 position = (*bytes)[2];
    const auto submitted = m_serials->readIn((*bytes)[0], (*bytes)[1], position);
    if (submitted != requests::RequestCore::Submitted::Queued)
        showNotSubmitted(serials::readInRequest((*bytes)[0], (*bytes)[1], position), submitted);
    // The next click reads in the next position, while the operator swaps the sensor.
    txtSensorReadID->setText(QString::number(position < m_sensorsPerChannel ? position + 1 : 1));
}

void MainWindow::showReadIn(const requests::Context& asked, const std::optional<serials::SerialNumber>& serial,
                            bool recognised)
{
    txtSn->clear();
    appendText(txtSn, serials::deviceHeading(asked.station) + QLatin1Char('\n'), Black, true);
    appendText(txtSn,
               serials::readInLine(asked.channel, asked.position, recognised) + QStringLiteral("\n\"") +
                   (serial ? serials::serialText(*serial) : QString()) + QStringLiteral("\"\n"),
               recognised ? Blue : Red, true);
}
