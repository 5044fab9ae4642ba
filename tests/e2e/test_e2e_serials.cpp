// Commissioning a channel end to end, over a real pseudo-terminal against the
// simulated module: search a channel, read its serial numbers, save them,
// import the file, write it to another channel automatically, read that back.

#include "e2e_fixture.h"

#include "serials/import_list.h"

class TestEndToEndSerials : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void searchReadSaveImportWriteReadBack()
    {
        EndToEnd e;
        sim::ModuleModel model;
        const QVector<sim::Rom> found = {sim::makeRom(0xA1, 0x11, 0x3C, 0x01),
                                         sim::makeRom(0xA2, 0x21, 0x3F, 0x02),
                                         sim::makeRom(0xA3, 0x31, 0x42, 0x03)};
        model.setBus(3, found);
        QVERIFY(e.startModule(model));
        MainWindow& w = e.openWindow();
        const QString file = QDir(e.folder.path()).filePath(QStringLiteral("txt/channel3.txt"));
        dialogs::setFileDialogHandler([&](const dialogs::FileDialogRequest&) { return file; });

        w.txtSearchChannel->setText(QStringLiteral("3"));
        w.searchSensors();
        QTRY_VERIFY_WITH_TIMEOUT(
            w.txtSn->toPlainText().contains(QStringLiteral("通道3 发现传感器个数为：03")), 5000);

        const auto readList = [&](int channel) {
            w.txtChnId->setText(QString::number(channel));
            w.TXTsensorID->setText(QStringLiteral("3"));
            w.readSerialList();
        };
        const auto listShown = [&](int channel) {
            return w.txtSn->toPlainText().startsWith(
                QStringLiteral("01#设备,通道%1下：").arg(channel, 2, 10, QLatin1Char('0')));
        };
        readList(3);
        QTRY_VERIFY_WITH_TIMEOUT(listShown(3), 5000);
        const QStringList onChannel3 = w.readSerialTexts.mid(0, 3);
        QCOMPARE(onChannel3.size(), 3);
        QCOMPARE(
            onChannel3[0],
            QStringLiteral("28 A1 11 3C 01 00 00 %1").arg(found[0][7], 2, 16, QLatin1Char('0')).toUpper());

        w.saveSerialList();
        QVERIFY(QFile::exists(file));
        w.importSerialFile();
        QCOMPARE(serials::ImportSnCount, 3);

        w.txtObjChannelID->setText(QStringLiteral("7"));
        w.txtTimer5->setText(QStringLiteral("50"));
        w.startAutomaticWrite();
        QTRY_VERIFY_WITH_TIMEOUT(!e.boxes.isEmpty(), 10000);
        QCOMPARE(e.boxes.constFirst().text, QStringLiteral("操作结束"));
        QCOMPARE(w.txtSn->toPlainText().count(QStringLiteral("[成功]")), 3);

        readList(7);
        QTRY_VERIFY_WITH_TIMEOUT(listShown(7), 5000);
        QCOMPARE(w.readSerialTexts.mid(0, 3), onChannel3);
        dialogs::setFileDialogHandler(nullptr);
    }
};

QTEST_MAIN(TestEndToEndSerials)
#include "test_e2e_serials.moc"
