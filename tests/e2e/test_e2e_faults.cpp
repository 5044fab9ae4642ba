// Every kind of request against every fault the line can throw at its reply,
// over a real pseudo-terminal at 19200 baud: what the status text and the lamp
// say, that no value the module does not hold is shown, and that the next
// request on a healthy line works. The outcomes are printed as a table.

#include "e2e_fixture.h"

#include <QRegularExpression>

#include <map>

namespace {
const QString Waiting = QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");
const QString Overdue = QStringLiteral("3秒内未收到响应");
const QString Lost = QStringLiteral("串口连接已断开");

enum class Kind {
    SingleReading,
    AllChannelsPass,
    ReadSerials,
    ReadIn,
    Search,
    WriteSerial,
    ReadAddress,
    ChangeAddress,
    ChangeBaud,
};

// The faults, by the name the table shows and as the simulator takes them; a
// truncated reply keeps half its bytes.
const QList<std::pair<QString, QString>> Faults = {
    {QStringLiteral("no reply"), QStringLiteral("noreply")},
    {QStringLiteral("late"), QStringLiteral("delay:700")},
    {QStringLiteral("truncated"), QStringLiteral("truncate:%1")},
    {QStringLiteral("corrupt CRC"), QStringLiteral("corruptcrc")},
    {QStringLiteral("extra bytes"), QStringLiteral("extrabytes:6")},
    {QStringLiteral("garbage"), QStringLiteral("garbage")},
    {QStringLiteral("wrong station"), QStringLiteral("wrongstation")},
    {QStringLiteral("collision"), QStringLiteral("collision")},
    {QStringLiteral("vanish"), QStringLiteral("vanish:3")},
};
constexpr int NoReplyFault = 0;
constexpr int ExtraBytesFault = 4; // a whole reply with noise after it: what a healthy line shows
constexpr int GarbageFault = 5;
constexpr int CollisionFault = 7;

// What the window shows after each fault, in the order of Faults, once the
// request's exchange has ended (or, for a request still awaiting its reply, a
// second after the module went quiet): status ("dump": the reply shown and
// taken; "crc", "mismatch": shown and flagged, nothing used; "waiting": nothing
// taken; "overdue": the 3-second warning; "lost": the port closed), the lamp in
// front (Green, Yellow, Red) and the values shown (see Observed). Every reply is
// judged before it is used: no kind shows "ok" for a broken CRC or another
// station's reply. A request to the wildcard address (read address, change
// baud) is answered by whichever station is there.
struct KindRow
{
    Kind kind;
    QString name;
    int replyBytes;
    QStringList expected;
};
const QList<KindRow> Kinds = {
    // A reply after the single reading's wait is still taken, as no other request went out since.
    {Kind::SingleReading,
     QStringLiteral("single reading"),
     25,
     {"waiting Y -", "dump G ok", "crc R -", "crc R -", "dump G ok", "crc R -", "mismatch R -", "crc R -",
      "lost R -"}},
    // The pass waits 500 ms per channel and decodes a reply cut short as far as it goes.
    {Kind::AllChannelsPass,
     QStringLiteral("all-channels pass"),
     25,
     {"waiting Y -", "waiting Y -", "dump Y part", "crc R -", "dump Y ok", "crc R -", "mismatch R -",
      "crc R -", "lost R -"}},
    {Kind::ReadSerials,
     QStringLiteral("read serials"),
     29,
     {"waiting G -", "dump G ok", "crc R -", "crc R -", "dump G ok", "crc R -", "mismatch R -", "crc R -",
      "lost R -"}},
    {Kind::ReadIn,
     QStringLiteral("read-in"),
     13,
     {"waiting G -", "dump G ok", "crc R -", "crc R -", "dump G ok", "crc R -", "mismatch R -", "crc R -",
      "lost R -"}},
    {Kind::Search,
     QStringLiteral("search"),
     8,
     {"waiting G -", "dump G ok", "crc R -", "crc R -", "dump G ok", "crc R -", "mismatch R -", "crc R -",
      "lost R -"}},
    // A write that went 3 s without a reply, or whose reply must not be used, gets its failure line.
    {Kind::WriteSerial,
     QStringLiteral("write serial"),
     14,
     {"overdue R fail", "dump G ok", "crc R fail", "crc R fail", "dump G ok", "crc R fail", "mismatch R fail",
      "crc R fail", "lost R -"}},
    {Kind::ReadAddress,
     QStringLiteral("read address"),
     7,
     {"waiting G -", "dump G ok", "crc R -", "crc R -", "dump G ok", "crc R -", "dump G ok", "crc R -",
      "lost R -"}},
    {Kind::ChangeAddress,
     QStringLiteral("change address"),
     8,
     {"waiting G -", "dump G ok", "crc R -", "crc R -", "dump G ok", "crc R -", "mismatch R -", "crc R -",
      "lost R -"}},
    // A baud reply is no address: the boxes stay as they are.
    {Kind::ChangeBaud,
     QStringLiteral("change baud"),
     8,
     {"waiting G -", "dump G -", "crc R -", "crc R -", "dump G -", "crc R -", "dump G -", "crc R -",
      "lost R -"}},
};

// Two channels of ten positions; the pass's fault hits channel 2, the last.
constexpr int Channels = 2;
constexpr int Positions = 10;
constexpr int Channel = 2;       // the channel every request names
constexpr int WritePosition = 3; // where the write puts its serial number
constexpr int NewAddress = 12;
const sim::Rom Written = sim::makeRom(0xB1, 0x22, 0x33, 0x44);

QString romText(const sim::Rom& rom)
{
    return QByteArray(reinterpret_cast<const char*>(rom.data()), int(rom.size())).toHex(' ').toUpper();
}

// Values shown, measured against what the module holds: "ok" (all right), "part"
// (a right beginning, the rest empty), "-" (nothing shown), "fail" (a write
// reported as failed), "WRONG" (anything else).
struct Observed
{
    QString status;
    QString lamp;
    QString values;
    QString text() const { return status + QLatin1Char(' ') + lamp + QLatin1Char(' ') + values; }
};

class Cell
{
public:
    explicit Cell(Kind kind) : m_kind(kind) {}

    bool start()
    {
        sim::ModuleModel model = sim::ModuleModel::demo();
        model.setBaudCode(4);
        if (!m_e.startModule(model))
            return false;
        m_e.module->transport().setRandomSeed(5900);
        m_e.openWindow();
        return m_e.window->MSComm1->PortOpen();
    }

    EndToEnd& e() { return m_e; }
    MainWindow& w() { return *m_e.window; }

    // Fills the kind's boxes and clicks its button.
    void issue()
    {
        MainWindow& w = *m_e.window;
        for (int i = 0; i < 3; ++i)
            w.readSerialTexts[i].clear(); // what a list read leaves there is its own
        w.txtSn->clear();
        w.txtCurrentAdd->clear();
        const QString channel = QString::number(Channel);
        switch (m_kind) {
        case Kind::SingleReading:
            w.txtStationID->setText(QStringLiteral("1"));
            w.txtChannel->setText(channel);
            w.readChannelOnce();
            break;
        case Kind::AllChannelsPass:
            w.txtStationID->setText(QStringLiteral("1"));
            w.readAllChannelsOnce();
            break;
        case Kind::ReadSerials:
            w.txtSta->setText(QStringLiteral("1"));
            w.txtChnId->setText(channel);
            w.TXTsensorID->setText(QStringLiteral("3"));
            w.readSerialList();
            break;
        case Kind::ReadIn:
            w.txtObjStationID->setText(QStringLiteral("1"));
            w.txtObjChnid->setText(channel);
            w.txtSensorReadID->setText(QStringLiteral("1"));
            w.readInSensor();
            break;
        case Kind::Search:
            w.txtSearchAdd->setText(QStringLiteral("1"));
            w.txtSearchChannel->setText(QStringLiteral("1"));
            w.txtSearchNum->setText(QStringLiteral("3"));
            w.searchSensors();
            break;
        case Kind::WriteSerial:
            w.txtInputAddid->setText(QStringLiteral("1"));
            w.txtObjChannelID->setText(channel);
            w.txtObjSensorid->setText(QString::number(WritePosition));
            for (int j = 0; j < 8; ++j)
                w.txtSenseSn[size_t(j)]->setText(romText(Written).section(QLatin1Char(' '), j, j));
            w.writeShownSerial();
            break;
        case Kind::ReadAddress:
            w.txtObjChnid->setText(QStringLiteral("1"));
            w.readModuleAddress();
            break;
        case Kind::ChangeAddress:
            w.txtObjChnid->setText(QStringLiteral("1"));
            w.txtSetID[0]->setText(QString::number(m_e.module->model().station())); // the address it has
            w.txtSetID[1]->setText(QString::number(NewAddress));
            w.changeModuleAddress();
            break;
        case Kind::ChangeBaud:
            w.txtObjChnid->setText(QStringLiteral("1"));
            w.txtCurrentBuad->setText(QStringLiteral("4"));
            w.txtObjectBuad->setText(QStringLiteral("4")); // the rate it has: the line stays as it is
            w.changeModuleBaud();
            break;
        }
    }

    // Until the module heard the request and its reply, if any, is out and read.
    bool settle(int framesBefore, bool vanishing)
    {
        sim::SimulatedModule& module = *m_e.module;
        if (!QTest::qWaitFor([&] { return module.framesReceived().size() > framesBefore; }, 3000))
            return false;
        if (vanishing)
            return QTest::qWaitFor([&] { return !m_e.window->MSComm1->PortOpen(); }, 3000);
        if (!QTest::qWaitFor([&] { return !module.transport().isSending(); }, 3000))
            return false;
        QTest::qWait(80);
        // The exchange ends: its reply judged, or its deadline passed (a command waits 3 s: not that long).
        (void)QTest::qWaitFor([&] { return m_e.window->requestCore().idle() && !m_e.window->readingBusy(); },
                              1000);
        return true;
    }

    Observed observe()
    {
        MainWindow& w = *m_e.window;
        Observed seen;
        const QString state = w.txtState->toPlainText();
        if (!w.MSComm1->PortOpen())
            seen.status = state == Lost ? QStringLiteral("lost") : QStringLiteral("closed");
        else if (state == Waiting)
            seen.status = QStringLiteral("waiting");
        else if (state == Waiting + QLatin1Char('\n') + Overdue)
            seen.status = QStringLiteral("overdue");
        else if (state.endsWith(QStringLiteral(" CRC校验错误")))
            seen.status = QStringLiteral("crc");
        else if (state.endsWith(QStringLiteral(" 应答与请求不符")))
            seen.status = QStringLiteral("mismatch");
        else if (QRegularExpression(QStringLiteral("^( [0-9A-F]{2})+$")).match(state).hasMatch())
            seen.status = QStringLiteral("dump");
        else
            seen.status = QStringLiteral("other:") + state;
        const QString lamp = m_e.frontLamp();
        seen.lamp = lamp == QLatin1String("imgConnected")      ? QStringLiteral("G")
                    : lamp == QLatin1String("ImgYellow")       ? QStringLiteral("Y")
                    : lamp == QLatin1String("imgNotConnected") ? QStringLiteral("R")
                                                               : lamp;
        seen.values = values();
        return seen;
    }

private:
    static QString cellsVerdict(const QStringList& cells, const QStringList& expected)
    {
        int filled = 0;
        while (filled < cells.size() && !cells[filled].isEmpty())
            ++filled;
        for (int k = 0; k < cells.size(); ++k) {
            if ((k < filled && cells[k] != expected[k]) || (k >= filled && !cells[k].isEmpty()))
                return QStringLiteral("WRONG");
        }
        return filled == cells.size() ? QStringLiteral("ok")
               : filled               ? QStringLiteral("part")
                                      : QStringLiteral("-");
    }

    QString values()
    {
        MainWindow& w = *m_e.window;
        sim::ModuleModel& model = m_e.module->model();
        const QString sn = w.txtSn->toPlainText();
        switch (m_kind) {
        case Kind::SingleReading:
            return cellsVerdict(m_e.cells(Channel, Positions), m_e.expected(Channel, Positions));
        case Kind::AllChannelsPass:
            // The healthy channel before the faulty one always reads right.
            if (cellsVerdict(m_e.cells(1, Positions), m_e.expected(1, Positions)) != QLatin1String("ok"))
                return QStringLiteral("WRONG");
            return cellsVerdict(m_e.cells(Channel, Positions), m_e.expected(Channel, Positions));
        case Kind::ReadSerials: {
            const QStringList now = w.readSerialTexts.mid(0, 3);
            if (now == QStringList(3, QString()))
                return QStringLiteral("-");
            QStringList held;
            for (int p = 1; p <= 3; ++p)
                held << romText(model.tableEntry(Channel, p));
            return now == held ? QStringLiteral("ok") : QStringLiteral("WRONG");
        }
        case Kind::ReadIn: {
            const QRegularExpressionMatch shown =
                QRegularExpression(QStringLiteral("\"([^\"]*)\"")).match(sn);
            if (sn.isEmpty())
                return QStringLiteral("-");
            return shown.hasMatch() && shown.captured(1) == romText(model.bus(Channel).constFirst())
                       ? QStringLiteral("ok")
                       : QStringLiteral("WRONG");
        }
        case Kind::Search: {
            if (sn.isEmpty())
                return QStringLiteral("-");
            int lines = 0;
            QRegularExpressionMatchIterator it =
                QRegularExpression(QStringLiteral("通道(\\d+) 发现传感器个数为：(\\d+)")).globalMatch(sn);
            while (it.hasNext()) {
                const QRegularExpressionMatch line = it.next();
                if (line.captured(2).toInt() != model.bus(line.captured(1).toInt()).size())
                    return QStringLiteral("WRONG");
                ++lines;
            }
            return lines == 3 ? QStringLiteral("ok") : QStringLiteral("WRONG");
        }
        case Kind::WriteSerial:
            if (sn.contains(QStringLiteral("[成功]")))
                return model.tableEntry(Channel, WritePosition) == Written ? QStringLiteral("ok")
                                                                           : QStringLiteral("WRONG");
            return sn.contains(QStringLiteral("[失败]")) ? QStringLiteral("fail") : QStringLiteral("-");
        case Kind::ReadAddress:
        case Kind::ChangeAddress:
        case Kind::ChangeBaud: { // a baud reply is no address: the boxes stay as they are
            const QString shown = w.txtCurrentAdd->text();
            if (shown.isEmpty())
                return QStringLiteral("-");
            return shown == QString::number(model.station()) && w.txtStationID->text() == shown
                       ? QStringLiteral("ok")
                       : QStringLiteral("WRONG");
        }
        }
        return QString();
    }

    Kind m_kind;
    EndToEnd m_e{QByteArray("1,") + QByteArray::number(Channels) + ',' + QByteArray::number(Positions) +
                     ",1\r\n",
                 "4,19200\r\n"};
};

} // namespace

class TestEndToEndFaults : public QObject
{
    Q_OBJECT
    // kind, fault -> what was seen, and what the request after it showed when that did not work
    std::map<std::pair<int, int>, QString> m_matrix;

private Q_SLOTS:
    void faultMatrix_data()
    {
        QTest::addColumn<int>("kindIndex");
        QTest::addColumn<int>("faultIndex");
        for (int k = 0; k < Kinds.size(); ++k)
            for (int f = 0; f < Faults.size(); ++f)
                QTest::addRow("%s, %s", qPrintable(Kinds[k].name), qPrintable(Faults[f].first)) << k << f;
    }
    void faultMatrix()
    {
        QFETCH(int, kindIndex);
        QFETCH(int, faultIndex);
        const KindRow& row = Kinds[kindIndex];
        const bool pass = row.kind == Kind::AllChannelsPass;
        Cell cell{row.kind};
        QVERIFY(cell.start());
        sim::SimulatedModule& module = *cell.e().module;
        QString faultText = Faults[faultIndex].second;
        if (faultText.contains(QLatin1String("%1")))
            faultText = faultText.arg(row.replyBytes / 2);
        module.setFault(fault(faultText + QStringLiteral(",next=1") +
                              (pass ? QStringLiteral(",channel=%1").arg(Channel) : QString())));
        const bool vanishing = faultText.startsWith(QLatin1String("vanish"));
        // A pass sends a request per channel, the faulty one last.
        const int framesBefore = int(module.framesReceived().size()) + (pass ? Channels - 1 : 0);
        cell.issue();
        QVERIFY(cell.settle(framesBefore, vanishing));
        MainWindow& w = cell.w();
        // Every kind meets the same watchdog; only a write does more when it runs out.
        if (row.kind == Kind::WriteSerial && faultIndex == NoReplyFault)
            QTRY_VERIFY_WITH_TIMEOUT(w.requestCore().isOverdue() && w.requestCore().idle(), 5000);
        const QString seen = cell.observe().text();
        m_matrix[{kindIndex, faultIndex}] = seen;
        QCOMPARE(seen, row.expected[faultIndex]);

        // The fault gone (a vanished device back and the port reopened), the same request works.
        if (vanishing) {
            QVERIFY(cell.e().startModule());
            w.Combo1->setCurrentIndex(3);
            w.openPort();
            QVERIFY(w.MSComm1->PortOpen());
        }
        cell.e().module->clearFaults();
        const int framesThen = int(cell.e().module->framesReceived().size()) + (pass ? Channels - 1 : 0);
        cell.issue();
        QVERIFY(cell.settle(framesThen, false));
        const QString next = cell.observe().text();
        if (next != row.expected[ExtraBytesFault])
            m_matrix[{kindIndex, faultIndex}] += QStringLiteral(", then ") + next;
        QCOMPARE(next, row.expected[ExtraBytesFault]);
    }

    void cleanupTestCase()
    {
        // Rows: request kinds; columns: faults; a cell: status, lamp, values
        // (and what the next request showed, when it failed).
        QString header = QStringLiteral("%1").arg(QString(), -18);
        for (const auto& f : Faults)
            header += QStringLiteral("| %1").arg(f.first, -15);
        qInfo("%s", qPrintable(header));
        for (int k = 0; k < Kinds.size(); ++k) {
            QString line = QStringLiteral("%1").arg(Kinds[k].name, -18);
            for (int f = 0; f < Faults.size(); ++f) {
                const auto found = m_matrix.find({k, f});
                line += QStringLiteral("| %1").arg(
                    found == m_matrix.end() ? QStringLiteral("?") : found->second, -15);
            }
            qInfo("%s", qPrintable(line));
        }
    }
};

QTEST_MAIN(TestEndToEndFaults)
#include "test_e2e_faults.moc"
