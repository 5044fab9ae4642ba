// Serial numbers through the window, against the simulated module's model
// answering in memory: the list read and its save, the import, the manual and
// automatic writes, the search and the read-in.

#include "window_fixture.h"

#include "../common/test_files.h"

#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/temperature.h"
#include "serials/import_list.h"
#include "sim/module_model.h"

#include <QScrollBar>
#include <QTextBlock>

namespace {
const QString Finished = QStringLiteral("操作结束");
const QString FormatError = QStringLiteral("输入的文件数据格式有误！请检查");
const QString NothingImported = QStringLiteral("请按正确的格式，先导入正确的传感器序列号");

QString text(const sim::Rom& rom)
{
    return QByteArray(reinterpret_cast<const char*>(rom.data()), 8).toHex(' ').toUpper();
}

// A window whose port is answered by a module model; serial-number files go
// through the dialog seam to paths the test names.
struct SerialsFixture : WindowFixture
{
    sim::ModuleModel model;
    MainWindow* w = nullptr;
    QString nextFile; // what the file dialog answers ("" = cancelled)

    explicit SerialsFixture(const QByteArray& modSet = "1,2,40,1\r\n")
    {
        writeFile(QStringLiteral("ModSet.set"), modSet);
        w = &create();
        backend->setResponder([this](const QByteArray& request) { return model.reply(request); });
        dialogs::setFileDialogHandler([this](const dialogs::FileDialogRequest&) { return nextFile; });
    }
    QString path(const QString& name) const { return QDir(folder.path()).filePath(name); }
    QStringList messages() const
    {
        QStringList texts;
        for (const auto& box : boxes)
            texts << box.text;
        return texts;
    }
    void importFile(const QByteArray& content)
    {
        QVERIFY(writeBytes(path(QStringLiteral("in.txt")), content));
        nextFile = path(QStringLiteral("in.txt"));
        w->importSerialFile();
    }
    void readList(int channel, int count)
    {
        w->txtChnId->setText(QString::number(channel));
        w->TXTsensorID->setText(QString::number(count));
        w->readSerialList();
        QTRY_VERIFY(w->txtSn->toPlainText().startsWith(
            QStringLiteral("01#设备,通道%1").arg(channel, 2, 10, QLatin1Char('0'))));
    }
    // Result lines of the writes, in the observation window.
    QStringList resultLines() const
    {
        return w->txtSn->toPlainText().split(QLatin1Char('\n')).filter(QStringLiteral("导入到"));
    }
};

const sim::Rom RomA = sim::makeRom(0xFF, 0x4B, 0x3C, 0x61);
const sim::Rom RomB = sim::makeRom(0x12, 0x34, 0x56, 0x78);
const sim::Rom NotASensor{0x22, 0xFF, 0x4B, 0x3C, 0x61, 0x00, 0x00, 0x8A};

QByteArray fileOf(const QList<sim::Rom>& roms)
{
    QByteArray bytes = QByteArray::number(roms.size()) + "\r\n";
    for (const sim::Rom& rom : roms)
        bytes += '"' + text(rom).toLatin1() + "\"\r\n";
    return bytes;
}
} // namespace

class TestWindowSerials : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readListShowsPositionsAndMarks()
    {
        SerialsFixture f;
        f.model.setTableEntry(2, 1, RomA);
        f.model.setTableEntry(2, 2, NotASensor);
        f.readList(2, 2);
        QCOMPARE(f.w->txtSn->toPlainText(), QStringLiteral("01#设备,通道02下：\n2\n\"%1\"\n\"%2\"  [无效]\n")
                                                .arg(text(RomA), text(NotASensor)));
        QCOMPARE(f.w->txtShowID->toPlainText(), QStringLiteral("  \n\n01\n02\n"));
        QCOMPARE(f.w->readSerialTexts.mid(0, 2), (QStringList{text(RomA), text(NotASensor)}));
        QCOMPARE(f.frontLamp(), QStringLiteral("imgConnected"));
    }

    // Each position number stands level with its serial number, also far down
    // the list and when the list is scrolled.
    void positionNumbersStayLevelWithTheirSerials()
    {
        SerialsFixture f("1,2,255,1\r\n");
        f.model.setPositionCount(255);
        f.w->resize(1054, 898);
        f.w->show();
        f.w->SSTab1->setCurrentIndex(1);
        QVERIFY(f.w->txtShowID->isHidden()); // no empty column before there are numbers
        f.readList(2, 255);
        QVERIFY(f.w->txtShowID->isVisible());
        const auto lineTop = [](QTextEdit* edit, int line) {
            return edit->cursorRect(QTextCursor(edit->document()->findBlockByNumber(line))).top();
        };
        for (int scroll : {0, -1}) {
            QScrollBar* bar = f.w->txtSn->verticalScrollBar();
            bar->setValue(scroll < 0 ? bar->maximum() : 0);
            for (int position : {1, 40, 200, 255}) {
                const int line = position + 1; // after the heading's two lines
                QCOMPARE(f.w->txtShowID->document()->findBlockByNumber(line).text(),
                         QString::number(position).rightJustified(2, QLatin1Char('0')));
                // The gutter's layout may finish a moment after the text's.
                QTRY_VERIFY2(qAbs(lineTop(f.w->txtShowID, line) - lineTop(f.w->txtSn, line)) <= 1,
                         qPrintable(QStringLiteral("position %1, scrolled %2: %3 against %4")
                                        .arg(position)
                                        .arg(bar->value())
                                        .arg(lineTop(f.w->txtShowID, line))
                                        .arg(lineTop(f.w->txtSn, line))));
            }
        }
    }

    // A list reply that fails its CRC is flagged, and the window keeps what it showed.
    void badListReplyIsFlagged()
    {
        SerialsFixture f;
        QByteArray corrupt = protocol::appendCrc(hexBytes("01 22 02") + QByteArray(8, '\x28'));
        corrupt[5] = char(corrupt[5] ^ 0x10);
        f.backend->setResponder([&](const QByteArray&) { return corrupt; });
        f.w->txtSn->setPlainText(QStringLiteral("kept"));
        f.w->TXTsensorID->setText(QStringLiteral("1"));
        f.w->readSerialList();
        QTRY_COMPARE(f.w->txtState->toPlainText(),
                     protocol::replyDump(corrupt) + QStringLiteral(" CRC校验错误"));
        QCOMPARE(f.w->txtSn->toPlainText(), QStringLiteral("kept"));
        QCOMPARE(f.frontLamp(), QStringLiteral("imgNotConnected"));
    }

    // Bold output of a read-in stays its own; saving proposes a name and says
    // where the list went, in the observation window.
    void sensorTabOutputs()
    {
        SerialsFixture f;
        f.model.setBus(1, {RomA});
        f.w->txtObjChnid->setText(QStringLiteral("1"));
        f.w->readInSensor();
        QTRY_VERIFY(f.w->txtSn->toPlainText().contains(QStringLiteral("识别")));
        QVERIFY(f.w->txtSn->document()->lastBlock().previous().charFormat().fontWeight() == QFont::Bold ||
                f.w->txtSn->document()->begin().begin().fragment().charFormat().fontWeight() == QFont::Bold);
        f.readList(1, 1);
        QVERIFY(!f.w->txtSn->font().bold());
        QCOMPARE(f.w->txtSn->document()->lastBlock().previous().begin().fragment().charFormat().fontWeight(),
                 int(QFont::Normal));

        QVector<dialogs::FileDialogRequest> asked;
        const QString path = f.path(QStringLiteral("list.txt"));
        dialogs::setFileDialogHandler([&](const dialogs::FileDialogRequest& request) {
            asked << request;
            return path;
        });
        f.w->TXTsensorID->setText(QStringLiteral("1"));
        f.w->saveSerialList();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].fileName, QStringLiteral("通道01_序列号.txt"));
        QVERIFY(f.messages().isEmpty());
        QVERIFY2(f.w->txtSn->toPlainText().endsWith(
                     QStringLiteral("已保存1个序列号到 %1\n").arg(QDir::toNativeSeparators(path))),
                 qPrintable(f.w->txtSn->toPlainText()));
    }

    // Save writes only what the last read returned.
    void saveRules()
    {
        SerialsFixture f;
        f.w->saveSerialList();
        QCOMPARE(f.messages(), QStringList{QStringLiteral("尚未读取序列号，请先读序列号再保存")});
        f.boxes.clear();

        f.model.setTableEntry(1, 1, RomA);
        f.model.setTableEntry(1, 2, RomB);
        f.readList(1, 2);
        f.w->TXTsensorID->setText(QStringLiteral("3"));
        f.w->saveSerialList();
        QCOMPARE(f.messages().size(), 1);
        QVERIFY(f.messages()[0].contains(QStringLiteral("2")));
        f.boxes.clear();

        // "LIST.TXT" is written as "LIST.TXT.txt"; an existing one is replaced only when the operator agrees.
        f.w->TXTsensorID->setText(QStringLiteral("2.9"));
        QVERIFY(writeBytes(f.path(QStringLiteral("LIST.TXT.txt")), "old"));
        f.nextFile = f.path(QStringLiteral("LIST.TXT"));
        dialogs::setMessageBoxHandler([&](const dialogs::MessageBoxRequest& request) {
            f.boxes.append(request);
            return int(dialogs::AnswerCancel);
        });
        f.w->saveSerialList();
        QCOMPARE(fileBytes(f.path(QStringLiteral("LIST.TXT.txt"))), QByteArray("old"));
        dialogs::setMessageBoxHandler(
            [&](const dialogs::MessageBoxRequest&) { return int(dialogs::AnswerOk); });
        f.w->saveSerialList();
        QCOMPARE(fileBytes(f.path(QStringLiteral("LIST.TXT.txt"))), fileOf({RomA, RomB}));
        QVERIFY(!QFile::exists(f.path(QStringLiteral("LIST.TXT"))));

        // Cleared window, same list; a cancelled dialog writes nothing.
        f.w->clearObservationWindow();
        f.nextFile = f.path(QStringLiteral("again.txt"));
        f.w->saveSerialList();
        QCOMPARE(fileBytes(f.nextFile), fileOf({RomA, RomB}));
        const QStringList before = QDir(f.folder.path()).entryList(QDir::Files);
        f.nextFile.clear();
        f.w->saveSerialList();
        QCOMPARE(QDir(f.folder.path()).entryList(QDir::Files), before);
    }

    void importPaths_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("count"); // ImportSnCount afterwards
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        QTest::newRow("saved file")
            << fileOf({RomA, RomB}) << 2
            << QStringLiteral("本次共导入2个序列号\n\"%1\"\n\"%2\"\n").arg(text(RomA), text(RomB))
            << QString();
        QTest::newRow("unquoted, lower case, two spaces")
            << QByteArray("2\r\n28 ff 4b 3c 61 00 00 8a\r\n28  FF 4B 3C 61 00 00 8A\r\n") << 2
            << QStringLiteral(
                   "本次共导入2个序列号\n\"28 ff 4b 3c 61 00 00 8a\"\n\"28  FF 4B 3C 61 00 00 8A\" [无效]\n")
            << QString();
        QTest::newRow("count 0") << QByteArray("0\r\n") << 0 << QStringLiteral("本次共导入0个序列号\n")
                                 << FormatError;
        QTest::newRow("a short field")
            << QByteArray("2\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n\"28 FF\"\r\n") << 0
            << QStringLiteral("本次共导入2个序列号\n\"28 FF 4B 3C 61 00 00 8A\"\n") << FormatError;
    }
    void importPaths()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, count);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        SerialsFixture f;
        f.importFile(fileOf({RomB})); // an earlier import that a failed one must not leave behind
        f.boxes.clear();
        f.importFile(file);
        QCOMPARE(f.w->txtSn->toPlainText(), shown);
        QCOMPARE(f.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(serials::ImportSnCount, count);
        if (count == 0)
            QCOMPARE(serials::ImportSnList.value(1), QString());
        f.w->writeFirstSerial(); // a failed import leaves nothing to write
        QCOMPARE(f.backend->written().size(), count > 0 ? 15 : 0);
    }

    void cancelledImportChangesNothing()
    {
        SerialsFixture f;
        f.importFile(fileOf({RomA, RomB}));
        f.nextFile.clear();
        f.w->importSerialFile();
        QVERIFY(f.boxes.isEmpty());
        QCOMPARE(serials::ImportSnCount, 2);
        QCOMPARE(f.w->txtSenseSn[1]->text(), QStringLiteral("FF"));
    }

    // The automatic run writes entries 1, 2, ... at positions 1, 2, ... and says
    // it finished only at the end; each line names the position written.
    void automaticWrite_data()
    {
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("written");
        QTest::newRow("3 of 40") << 3 << 3;
        QTest::newRow("50 for 40 positions") << 50 << 40;
    }
    void automaticWrite()
    {
        QFETCH(int, imported);
        QFETCH(int, written);
        SerialsFixture f;
        QList<sim::Rom> roms;
        for (int i = 0; i < imported; ++i)
            roms << sim::makeRom(quint8(i + 1), 0x20, 0x30, 0x40);
        f.importFile(fileOf(roms));
        f.w->txtObjChannelID->setText(QStringLiteral("2"));
        f.w->txtTimer5->setText(QStringLiteral("5"));
        f.w->startAutomaticWrite();
        QTRY_COMPARE_WITH_TIMEOUT(f.messages(), QStringList{Finished}, 20000);
        QStringList expected;
        for (int p = 1; p <= written; ++p)
            expected << QStringLiteral("导入到 02通道 %1#位置 [成功]").arg(p, 2, 10, QLatin1Char('0'));
        QCOMPARE(f.resultLines(), expected);
        for (int p = 1; p <= written; ++p)
            QCOMPARE(f.model.tableEntry(2, p), roms[p - 1]);
        QVERIFY(!f.w->Timer5->isTicking());
    }

    // An entry marked [无效] on import (an empty FF ... FF, say) is not written over
    // the module's entry by the automatic run: a red line says so. Every result
    // line keeps its colour.
    void automaticWriteLeavesInvalidEntriesOut()
    {
        SerialsFixture f;
        const sim::Rom empty{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        f.model.setTableEntry(1, 2, RomB);
        f.importFile(fileOf({RomA, empty, RomA}));
        f.w->txtTimer5->setText(QStringLiteral("5"));
        f.w->startAutomaticWrite();
        QTRY_COMPARE_WITH_TIMEOUT(f.messages(), QStringList{Finished}, 10000);
        QCOMPARE(f.resultLines(), (QStringList{QStringLiteral("导入到 01通道 01#位置 [成功]"),
                                               QStringLiteral("导入到 01通道 02#位置 [未写入：序列号无效]"),
                                               QStringLiteral("导入到 01通道 03#位置 [成功]")}));
        QCOMPARE(f.model.tableEntry(1, 2), RomB); // what the module held stays
        const QList<QColor> colours{Qt::blue, Qt::red, Qt::blue};
        QTextBlock line = f.w->txtSn->document()->begin();
        for (const QColor& colour : colours) {
            while (!line.text().startsWith(QStringLiteral("导入到")))
                line = line.next();
            QCOMPARE(line.begin().fragment().charFormat().foreground().color(), colour);
            line = line.next();
        }
    }

    // By hand such an entry is written only when the operator says so.
    void manualWriteAsksBeforeAnInvalidEntry()
    {
        SerialsFixture f;
        const sim::Rom empty{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        f.importFile(fileOf({empty}));
        int answer = dialogs::AnswerCancel;
        dialogs::setMessageBoxHandler([&](const dialogs::MessageBoxRequest& request) {
            f.boxes.append(request);
            return answer;
        });
        f.backend->written();
        f.w->writeFirstSerial();
        QCOMPARE(f.messages(), QStringList{QStringLiteral("第1个序列号“FF FF FF FF FF FF FF FF”无效，仍要写入模块吗？")});
        QCOMPARE(f.backend->written(), QByteArray());
        answer = dialogs::AnswerOk;
        f.w->writeFirstSerial();
        QCOMPARE(f.backend->written().size(), 15);
    }

    // One write on the line: ticks while the last write awaits its reply leave the
    // position alone; a write unanswered for 3 s gets its failure line and the run goes on.
    void unansweredWriteFailsAndTheRunGoesOn()
    {
        SerialsFixture f;
        f.importFile(fileOf({RomA, RomB}));
        int writes = 0;
        f.backend->setResponder(
            [&](const QByteArray& request) { return ++writes == 1 ? QByteArray() : f.model.reply(request); });
        f.w->txtTimer5->setText(QStringLiteral("20"));
        f.w->startAutomaticWrite();
        QTest::qWait(1000);
        QCOMPARE(writes, 1);
        QCOMPARE(f.w->txtObjSensorid->text(), QStringLiteral("1"));
        QTRY_COMPARE_WITH_TIMEOUT(f.messages(), QStringList{Finished}, 10000);
        QCOMPARE(f.resultLines(), (QStringList{QStringLiteral("导入到 01通道 01#位置 [失败]"),
                                               QStringLiteral("导入到 01通道 02#位置 [成功]")}));
    }

    void writeFailsUnlessTheModuleHoldsWhatWasSent()
    {
        SerialsFixture f;
        f.importFile(fileOf({RomA}));
        // The module answers with another serial number than the one written.
        f.backend->setResponder([](const QByteArray&) {
            return protocol::appendCrc(hexBytes("01 22 0C") +
                                       QByteArray(reinterpret_cast<const char*>(RomB.data()), 8) + "\x01");
        });
        f.w->writeFirstSerial();
        QTRY_COMPARE(f.resultLines(), QStringList{QStringLiteral("导入到 01通道 01#位置 [失败]")});
    }

    // An entry that is no eight hex bytes is never sent: the step names its
    // position, and the automatic run stops there without saying it finished.
    void badEntryIsNotWritten()
    {
        SerialsFixture f;
        f.importFile("2\r\n\"28 FF 4B 3C 61 00 00 8A\"\r\n\"28 FF 4B 3C 61 00 00 8A 00\"\r\n");
        QCOMPARE(serials::ImportSnCount, 2);
        f.w->txtTimer5->setText(QStringLiteral("5"));
        f.w->startAutomaticWrite();
        QTRY_COMPARE_WITH_TIMEOUT(f.messages().size(), 1, 10000);
        QVERIFY(f.messages()[0].contains(QStringLiteral("第2个")));
        QVERIFY(!f.messages().contains(Finished));
        QCOMPARE(f.resultLines().size(), 1);
        QVERIFY(!f.w->Timer5->isTicking());
    }

    void automaticWriteNeedsAnOpenPortAndAnImport()
    {
        SerialsFixture f;
        f.w->startAutomaticWrite();
        QCOMPARE(f.messages(), QStringList{NothingImported});
        f.boxes.clear();
        f.importFile(fileOf({RomA}));
        f.w->closePort();
        f.w->startAutomaticWrite();
        QVERIFY(f.messages().isEmpty()); // said in the status text, no box to close
        QCOMPARE(f.w->txtState->toPlainText(), QStringLiteral("串口未打开，请先打开串口"));
        QVERIFY(!f.w->Timer5->isTicking());
    }

    // A pass asked for while an automatic write awaits its reply goes out after
    // that reply: the write gets its result line, channel 1 its own values.
    void passDuringAnAutomaticWriteFollowsTheWrite()
    {
        SerialsFixture f("1,2,2,1\r\n");
        f.importFile(fileOf({RomA}));
        f.backend->setResponder([&](const QByteArray& request) {
            const QByteArray reply = f.model.reply(request);
            if (request.size() != 15)
                return reply;
            // The write's reply takes its time; meanwhile the operator asks for a pass.
            QTimer::singleShot(150, f.w, [&, reply] { f.backend->inject(reply); });
            QMetaObject::invokeMethod(f.w, [&] { f.w->readAllChannelsOnce(); }, Qt::QueuedConnection);
            return QByteArray();
        });
        f.w->txtTimer5->setText(QStringLiteral("5"));
        f.w->startAutomaticWrite();
        QTRY_COMPARE_WITH_TIMEOUT(f.resultLines().size(), 1, 5000);
        QVERIFY(f.resultLines()[0].contains(QStringLiteral("[成功]")));
        QVERIFY(lineSettles(*f.w));
        QCOMPARE(f.cellTexts(1, 2), (QStringList{protocol::temperatureText(f.model.registerAt(1, 1)),
                                                 protocol::temperatureText(f.model.registerAt(1, 2))}));
        f.w->stopAutomaticWrite();
    }

    void manualSteps()
    {
        SerialsFixture f;
        f.importFile(fileOf({RomA, RomB}));
        f.backend->written();
        const auto positionWritten = [&] {
            if (!lineSettles(*f.w))
                return -2;
            const QByteArray frame = f.backend->written();
            return frame.size() == 15 ? int(quint8(frame[4])) : -1;
        };
        f.w->writeFirstSerial();
        QCOMPARE(positionWritten(), 1);
        f.w->writeNextSerial();
        QCOMPARE(positionWritten(), 2);
        f.w->writeNextSerial(); // beyond the imported count: entry 1 at position 1 again
        QCOMPARE(positionWritten(), 1);
        QCOMPARE(f.w->txtSenseSn[1]->text(), QStringLiteral("FF"));
    }

    void searchAndReadIn()
    {
        SerialsFixture f("1,10,40,1\r\n");
        f.model.setBus(3, {RomA, RomB, RomA, RomB, RomA});
        f.w->txtSearchChannel->setText(QStringLiteral("3"));
        f.w->txtSearchNum->setText(QStringLiteral("2"));
        f.backend->written();
        f.w->searchSensors();
        QCOMPARE(f.backend->written(), protocol::autoSearchRequest(1, 3, 2));
        QCOMPARE(f.w->txtCommand->text().count(QLatin1Char(' ')), 8);
        QTRY_COMPARE(f.w->txtSn->toPlainText(),
                     QStringLiteral("01#设备下：\n通道3 发现传感器个数为：05\n通道4 发现传感器个数为：00\n"));
        QVERIFY(f.w->txtShowID->isHidden());

        // Read-in at the last position: the box moves on to 1, the line names 40.
        f.model.setBus(5, {NotASensor});
        f.w->txtObjChnid->setText(QStringLiteral("5"));
        f.w->txtSensorReadID->setText(QStringLiteral("40"));
        f.w->readInSensor();
        QCOMPARE(f.backend->written(), protocol::manualReadInRequest(1, 5, 40));
        QCOMPARE(f.w->txtSensorReadID->text(), QStringLiteral("1"));
        QTRY_COMPARE(f.w->txtSn->toPlainText(),
                     QStringLiteral("01#设备下：\n通道 05 编号40 ->序列号：识别  [失败]\n\"%1\"\n")
                         .arg(text(NotASensor)));

        f.w->txtObjChnid->setText(QStringLiteral("0"));
        f.w->readInSensor();
        QCOMPARE(f.messages(), QStringList{QStringLiteral("请指定正确的模块及通道编号")});
        QCOMPARE(f.backend->written(), QByteArray());
    }

    // A command given while a pass has the line goes out as soon as the line is
    // free, between the pass's channels, and the pass goes on after it.
    void commandDuringAPassGoesOutBetweenItsChannels()
    {
        SerialsFixture f("1,2,2,1\r\n");
        f.backend->setResponder({}); // silent: each request waits for its deadline
        f.backend->written();
        QTimer::singleShot(50, f.w, [&] {
            f.w->readModuleAddress();
            f.w->readSerialList();
        });
        f.w->readAllChannelsOnce();
        QVERIFY(lineSettles(*f.w, 15000));
        // Both, in the order given; none dropped, none replacing another.
        QCOMPARE(f.backend->written(), protocol::temperatureRequest(1, 3, 1, 1, 2) + protocol::readAddressRequest() +
                                           protocol::readSerialsRequest(1, 1, 2) +
                                           protocol::temperatureRequest(1, 3, 2, 1, 2));
    }
};

QTEST_MAIN(TestWindowSerials)
#include "test_window_serials.moc"
