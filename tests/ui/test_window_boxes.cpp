// Every box a request handler reads, tried with texts an operator can type:
// either a message names the box and nothing goes out, or the byte sent is the
// one the box's own rule gives. Never a crash, never a wrong byte.

#include "window_fixture.h"

#include "protocol/box_number.h"
#include "serials/import_list.h"

#include <functional>

namespace {
using protocol::Rounding;

// A box, the handler that reads it, its rule, and where its byte goes in the frame.
struct BoxCase
{
    const char* box;
    std::function<void(MainWindow&)> handler;
    Rounding rounding;
    int minimum, maximum;
    int offset; // byte of the frame written; -1: the box gives no byte (an interval)
};

const QStringList Texts{QString(),
                        QStringLiteral("   "),
                        QStringLiteral("abc"),
                        QStringLiteral("-1"),
                        QStringLiteral("2.5"),
                        QStringLiteral("3.7"),
                        QStringLiteral(" 7 "),
                        QStringLiteral("256"),
                        QStringLiteral("1e3"),
                        QStringLiteral("0x10"),
                        QStringLiteral("99999999999999999999999999")};
} // namespace

Q_DECLARE_METATYPE(BoxCase)

class TestWindowBoxes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyTextGivesAMessageOrItsRulesByte_data()
    {
        QTest::addColumn<BoxCase>("c");
        const auto once = [](MainWindow& w) { w.readChannelOnce(); };
        const auto pass = [](MainWindow& w) { w.readAllChannelsOnce(); };
        const auto readList = [](MainWindow& w) { w.readSerialList(); };
        const auto search = [](MainWindow& w) { w.searchSensors(); };
        const auto readIn = [](MainWindow& w) { w.readInSensor(); };
        const auto write = [](MainWindow& w) { w.writeShownSerial(); };
        const auto change = [](MainWindow& w) { w.changeModuleAddress(); };
        const auto baud = [](MainWindow& w) { w.changeModuleBaud(); };
        const auto loop = [](MainWindow& w) { w.startChannelLoop(); };
        const Rounding cut = Rounding::CutOff, floor = Rounding::Floor, even = Rounding::HalfToEven;
        const BoxCase cases[] = {
            {"txtStationID", once, cut, 0, 255, 0},        {"txtFunID", once, cut, 0, 255, 1},
            {"txtChannel", once, cut, 0, 255, 2},          {"txtStartID", once, cut, 0, 255, 3},
            {"txtDataLength", once, cut, 0, 255, 5},       {"txtStationID", pass, even, 0, 255, 0},
            {"txtStartID", pass, even, 0, 255, 3},         {"txtDataLength", pass, even, 0, 255, 5},
            {"txtSta", readList, floor, 0, 255, 0},        {"txtChnId", readList, floor, 0, 255, 3},
            {"TXTsensorID", readList, floor, 0, 255, 5},   {"txtSearchAdd", search, even, 0, 255, 0},
            {"txtSearchNum", search, even, 0, 255, 5},     {"txtObjStationID", readIn, floor, 0, 255, 0},
            {"txtSensorReadID", readIn, floor, 0, 255, 4}, {"txtInputAddid", write, floor, 0, 255, 0},
            {"txtObjChannelID", write, floor, 0, 255, 3},  {"txtObjSensorid", write, floor, 0, 255, 4},
            {"txtSetID_0", change, floor, 1, 250, 0},      {"txtSetID_1", change, floor, 1, 249, 5},
            {"txtCurrentBuad", baud, even, 0, 255, 3},     {"txtObjectBuad", baud, even, 1, 4, 5},
            {"txtTimerSet_0", loop, cut, 1, 65535, -1},
        };
        for (const BoxCase& c : cases)
            QTest::newRow(c.box) << c;
    }
    void everyTextGivesAMessageOrItsRulesByte()
    {
        QFETCH(BoxCase, c);
        WindowFixture f;
        MainWindow& w = f.create();
        w.txtObjectBuad->setText(QStringLiteral("2")); // designed "0", which the baud change refuses
        QLineEdit* box = w.findChild<QLineEdit*>(QString::fromLatin1(c.box));
        QVERIFY(box);
        for (const QString& text : Texts) {
            f.boxes.clear();
            f.backend->written();
            w.Timer2->setEnabled(false);
            box->setText(text);
            c.handler(w);
            // The pass's first request waits for a quiet line first.
            QByteArray frame;
            (void)QTest::qWaitFor(
                [&] { return !(frame += f.backend->written()).isEmpty() || w.requestCore().idle(); },
                2000);
            w.openPort(); // the silent module's request leaves the line: the next one goes out at once
            const std::optional<int> value = protocol::wholeNumber(text, c.rounding, c.minimum, c.maximum);
            const QString what = QStringLiteral("%1 = \"%2\"").arg(QLatin1String(c.box), text);
            if (!value) {
                QVERIFY2(f.boxes.size() == 1 && frame.isEmpty(), qPrintable(what));
                QVERIFY2(f.boxes[0].text.contains(QStringLiteral("请输入")), qPrintable(what));
                continue;
            }
            QVERIFY2(f.boxes.isEmpty(), qPrintable(what + QStringLiteral(": ") + f.boxes.value(0).text));
            if (c.offset < 0)
                QCOMPARE(w.Timer2->Interval(), *value);
            else
                QVERIFY2(frame.size() > c.offset && quint8(frame[c.offset]) == *value,
                         qPrintable(what + QLatin1Char(' ') + QString::fromLatin1(frame.toHex(' '))));
        }
    }

    // The verification window's eight texts are hex bytes; anything else sends nothing.
    void verificationWindowTexts()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        for (const QString& text : Texts + QStringList{QStringLiteral("1FF"), QStringLiteral("G1")}) {
            f.boxes.clear();
            f.backend->written();
            w.txtSenseSn[3]->setText(text);
            const bool sent = w.writeShownSerial();
            bool ok = false;
            const int byte = text.trimmed().toInt(&ok, 16);
            const bool hex = ok && text.trimmed().size() <= 2 && byte >= 0 && !text.trimmed().startsWith('-');
            QCOMPARE(sent, hex);
            QCOMPARE(f.backend->written().isEmpty(), !hex);
            w.openPort(); // the silent module's request leaves the line
        }
    }
};

QTEST_MAIN(TestWindowBoxes)
#include "test_window_boxes.moc"
