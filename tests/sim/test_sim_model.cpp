// The simulated module without a line: request frames in, exact reply bytes
// out, the state the requests change, the scenario format and the splitter
// that cuts the incoming byte stream into requests.

#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/temperature.h"
#include "sim/fault.h"
#include "sim/frame_splitter.h"
#include "sim/module_model.h"
#include "sim/scenario.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace sim;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
QByteArray withCrc(const char* text)
{
    return protocol::appendCrc(hex(text));
}
QString spaced(const QByteArray& bytes)
{
    return protocol::spacedHex(bytes);
}

Rom romOf(const char* text)
{
    const QByteArray b = hex(text);
    Rom rom{};
    std::copy(b.constBegin(), b.constBegin() + 8, rom.begin());
    return rom;
}

const char* const romA = "28 A1 B2 C3 D4 00 00 11";
const char* const romB = "28 FF 4B 3C 61 00 00 8A";
const char* const romC = "28 05 06 07 08 00 00 99";

protocol::SerialNumber serialOf(const char* text)
{
    const Rom rom = romOf(text);
    protocol::SerialNumber s{};
    std::copy(rom.begin(), rom.end(), s.begin());
    return s;
}

// Station 7, 8 positions; channel 4 holds one of every kind of reading,
// channel 2 has two sensors on its bus and in its table, channel 5 one on its bus.
ModuleModel fixture()
{
    ModuleModel m;
    m.setStation(7);
    m.setPositionCount(8);
    m.setSensor(4, 1, SensorState::temperature(2500));
    m.setSensor(4, 2, SensorState::temperature(-200));
    m.setSensor(4, 3, SensorState::notWired());
    m.setSensor(4, 4, SensorState::notRecognised());
    m.setSensor(4, 5, SensorState::noValue());
    m.setSensor(4, 6, SensorState::temperature(-1250));
    m.setSensor(4, 7, SensorState::temperature(40000));
    m.setSensor(4, 8, SensorState::temperature(5));
    m.setBus(2, {romOf(romA), romOf(romB)});
    m.fillTableFromBus(2);
    m.setBus(5, {romOf(romC)});
    return m;
}

QByteArray romBytes(const Rom& rom)
{
    return QByteArray(reinterpret_cast<const char*>(rom.data()), 8);
}

} // namespace

class TestSimModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void registerEncoding_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("hundredths");
        QTest::addColumn<int>("expectedRegister");
        QTest::addColumn<QString>("programText");
        QTest::newRow("25.00") << int(SensorState::Temperature) << 2500 << 0x09C4 << "25.00";
        QTest::newRow("-2.00") << int(SensorState::Temperature) << -200 << 0xFF38 << "-2.00";
        QTest::newRow("-12.50") << int(SensorState::Temperature) << -1250 << 0xFB1E << "-12.50";
        QTest::newRow("0.05") << int(SensorState::Temperature) << 5 << 0x0005 << "0.05";
        QTest::newRow("400.00 top") << int(SensorState::Temperature) << 40000 << 0x9C40 << "400.00";
        QTest::newRow("-255.35 bottom") << int(SensorState::Temperature) << -25535 << 0x9C41 << "-255.35";
        QTest::newRow("not wired") << int(SensorState::NotWired) << 0 << 0xBAD2 << "未接线";
        QTest::newRow("not recognised") << int(SensorState::NotRecognised) << 0 << 0xB492 << "未识别";
        QTest::newRow("no value") << int(SensorState::NoValue) << 0 << 0xFFFF << "无数值";
    }
    // The program's decoder must read back what the module meant.
    void registerEncoding()
    {
        QFETCH(int, kind);
        QFETCH(int, hundredths);
        QFETCH(int, expectedRegister);
        QFETCH(QString, programText);
        const SensorState state{SensorState::Kind(kind), hundredths};
        QCOMPARE(int(state.registerValue()), expectedRegister);
        QCOMPARE(protocol::temperatureText(state.registerValue()), programText);
    }

    void encodableTemperatures_data()
    {
        QTest::addColumn<int>("hundredths");
        QTest::addColumn<bool>("encodable");
        QTest::newRow("0") << 0 << true;
        QTest::newRow("400.00") << 40000 << true;
        QTest::newRow("400.01") << 40001 << false;
        QTest::newRow("-255.35") << -25535 << true;
        QTest::newRow("-255.36") << -25536 << false;
        QTest::newRow("-0.01 is the no-value code") << -1 << false;
        QTest::newRow("-177.10 is the not-wired code") << -17710 << false;
        QTest::newRow("-193.10 is the not-recognised code") << -19310 << false;
    }
    void encodableTemperatures()
    {
        QFETCH(int, hundredths);
        QFETCH(bool, encodable);
        QCOMPARE(isEncodableTemperature(hundredths), encodable);
    }

    void romChecksum()
    {
        // The worked example of the one-wire ROM CRC: 02 1C B8 01 00 00 00 -> A2.
        QCOMPARE(int(romCrc8(romOf("02 1C B8 01 00 00 00 00"))), 0xA2);
        const Rom rom = makeRom(0xFF, 0x4B, 0x3C, 0x61);
        QCOMPARE(spaced(romBytes(rom)).left(20), QStringLiteral("28 FF 4B 3C 61 00 00"));
        QCOMPARE(rom[7], romCrc8(rom));
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");
        using namespace protocol;
        const QByteArray zeros8(8, '\0');
        const QByteArray blank8(8, '\xFF');

        QTest::newRow("temperature fn 03, two values")
            << temperatureRequest(7, 3, 4, 1, 2) << withCrc("07 03 04 09 C4 FF 38");
        QTest::newRow("temperature fn 04")
            << temperatureRequest(7, 4, 4, 1, 2) << withCrc("07 04 04 09 C4 FF 38");
        QTest::newRow("codes: not wired, not recognised, no value")
            << temperatureRequest(7, 3, 4, 3, 3) << withCrc("07 03 06 BA D2 B4 92 FF FF");
        QTest::newRow("-12.50, 400.00, 0.05")
            << temperatureRequest(7, 3, 4, 6, 3) << withCrc("07 03 06 FB 1E 9C 40 00 05");
        QTest::newRow("positions beyond the count read FFFF")
            << temperatureRequest(7, 3, 4, 8, 3) << withCrc("07 03 06 00 05 FF FF FF FF");
        QTest::newRow("start 0 reads FFFF")
            << temperatureRequest(7, 3, 4, 0, 2) << withCrc("07 03 04 FF FF 09 C4");
        QTest::newRow("count 0") << temperatureRequest(7, 3, 4, 1, 0) << withCrc("07 03 00");
        QTest::newRow("unused channel: nothing wired")
            << temperatureRequest(7, 3, 9, 1, 1) << withCrc("07 03 02 BA D2");
        QTest::newRow("wildcard answered with the own address")
            << temperatureRequest(0xFA, 3, 4, 1, 1) << withCrc("07 03 02 09 C4");
        {
            // 255 registers: the byte count keeps its low byte (510 = 0x1FE).
            QByteArray body = hex("07 03 FE 09 C4 FF 38 BA D2 B4 92 FF FF FB 1E 9C 40 00 05");
            body += QByteArray(2 * 247, '\xFF');
            QTest::newRow("255 registers") << temperatureRequest(7, 3, 4, 1, 255) << appendCrc(body);
        }
        QTest::newRow("channel 0: exception 02") << temperatureRequest(7, 3, 0, 1, 1) << withCrc("07 83 02");
        QTest::newRow("channel 11: exception 02")
            << temperatureRequest(7, 4, 11, 1, 1) << withCrc("07 84 02");
        QTest::newRow("unknown function: exception 01") << frame8(7, 0x10, 4, 1, 0, 1) << withCrc("07 90 01");
        QTest::newRow("unknown 22 sub-function") << frame8(7, 0x22, 0x05, 2, 0, 1) << withCrc("07 A2 01");
        QTest::newRow("unknown 06 sub-function") << frame8(7, 0x06, 0x07, 0, 0, 1) << withCrc("07 86 01");

        QTest::newRow("read serials: table then FF x8")
            << readSerialsRequest(7, 2, 3) << appendCrc(hex("07 22 02") + hex(romA) + hex(romB) + blank8);
        QTest::newRow("read serials, none") << readSerialsRequest(7, 2, 0) << withCrc("07 22 02");
        QTest::newRow("read serials, channel 11") << readSerialsRequest(7, 11, 1) << withCrc("07 A2 02");

        QTest::newRow("read-in: the sensor on the bus")
            << manualReadInRequest(7, 5, 4) << appendCrc(hex("07 22 01") + hex(romC));
        QTest::newRow("read-in: first of several")
            << manualReadInRequest(7, 2, 4) << appendCrc(hex("07 22 01") + hex(romA));
        QTest::newRow("read-in: empty bus")
            << manualReadInRequest(7, 3, 1) << appendCrc(hex("07 22 01") + zeros8);
        QTest::newRow("read-in: position 0")
            << manualReadInRequest(7, 5, 0) << appendCrc(hex("07 22 01") + zeros8);
        QTest::newRow("read-in: beyond the positions")
            << manualReadInRequest(7, 5, 9) << appendCrc(hex("07 22 01") + zeros8);

        QTest::newRow("search: counts per channel")
            << autoSearchRequest(7, 2, 4) << withCrc("07 06 0C 02 00 00 01");
        QTest::newRow("search without its pad byte")
            << autoSearchRequest(7, 5, 1).left(8) << withCrc("07 06 0C 01");
        QTest::newRow("search beyond channel 10") << autoSearchRequest(7, 10, 2) << withCrc("07 86 02");
        QTest::newRow("search of no channel") << autoSearchRequest(7, 3, 0) << withCrc("07 06 0C");

        QTest::newRow("write serial") << writeSerialRequest(7, 2, 3, serialOf(romC))
                                      << appendCrc(hex("07 22 0C") + hex(romC) + hex("03"));
        QTest::newRow("write at position 0 fails")
            << writeSerialRequest(7, 2, 0, serialOf(romC)) << appendCrc(hex("07 22 0C") + zeros8 + hex("00"));
        QTest::newRow("write beyond the positions fails")
            << writeSerialRequest(7, 2, 9, serialOf(romC)) << appendCrc(hex("07 22 0C") + zeros8 + hex("09"));

        QTest::newRow("read address") << readAddressRequest() << withCrc("07 25 02 07 02");
        QTest::newRow("change address") << changeAddressRequest(7, 12) << withCrc("0C 06 0B 0C 00 00");
        QTest::newRow("change address at the wildcard")
            << changeAddressRequest(0xFA, 249) << withCrc("F9 06 0B F9 00 00");
        QTest::newRow("change baud") << changeBaudRequest(2, 4) << withCrc("07 06 0A 04 00 00");
    }
    void replies()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        ModuleModel m = fixture();
        QCOMPARE(spaced(m.reply(request)), spaced(expected));
    }

    void ignored_data()
    {
        QTest::addColumn<QByteArray>("request");
        using namespace protocol;
        QByteArray badCrc = temperatureRequest(7, 3, 4, 1, 2);
        badCrc[7] = char(badCrc.at(7) ^ 0x01);
        QByteArray badSearch = autoSearchRequest(7, 2, 1);
        badSearch[3] = 3;
        QTest::newRow("bad CRC") << badCrc;
        QTest::newRow("search with bad CRC") << badSearch;
        QTest::newRow("another station") << temperatureRequest(8, 3, 4, 1, 2);
        QTest::newRow("station 0") << temperatureRequest(0, 3, 4, 1, 2);
        QTest::newRow("truncated frame") << temperatureRequest(7, 3, 4, 1, 2).left(7);
        QTest::newRow("one byte too many") << temperatureRequest(7, 3, 4, 1, 2) + hex("00");
        QTest::newRow("write kind in 8 bytes") << frame8(7, 0x22, 0x0C, 2, 1, 0x28);
        QTest::newRow("write cut to 14 bytes") << writeSerialRequest(7, 2, 1, serialOf(romA)).left(14);
        QTest::newRow("new address 0") << changeAddressRequest(7, 0);
        QTest::newRow("new address 250") << changeAddressRequest(7, 250);
        QTest::newRow("baud code 0") << changeBaudRequest(2, 0);
        QTest::newRow("baud code 5") << changeBaudRequest(2, 5);
        QTest::newRow("nothing") << QByteArray();
    }
    void ignored()
    {
        QFETCH(QByteArray, request);
        ModuleModel m = fixture();
        QCOMPARE(spaced(m.reply(request)), QString());
        QCOMPARE(m.station(), 7);
        QCOMPARE(m.baudCode(), 2);
    }

    void changeAddress()
    {
        ModuleModel m = fixture();
        QVERIFY(!m.reply(protocol::changeAddressRequest(7, 12)).isEmpty());
        QCOMPARE(m.station(), 12);
        QVERIFY(m.reply(protocol::temperatureRequest(7, 3, 4, 1, 1)).isEmpty());
        QCOMPARE(spaced(m.reply(protocol::temperatureRequest(12, 3, 4, 1, 1))),
                 spaced(withCrc("0C 03 02 09 C4")));
        QCOMPARE(spaced(m.reply(protocol::readAddressRequest())), spaced(withCrc("0C 25 02 0C 02")));
        // Addressed to the old station, a second change is not heard.
        QVERIFY(m.reply(protocol::changeAddressRequest(7, 20)).isEmpty());
        QCOMPARE(m.station(), 12);
    }

    void changeBaud()
    {
        ModuleModel m = fixture();
        QCOMPARE(m.baudRate(), 9600);
        QVERIFY(!m.reply(protocol::changeBaudRequest(2, 4)).isEmpty());
        QCOMPARE(m.baudCode(), 4);
        QCOMPARE(m.baudRate(), 19200);
        QCOMPARE(spaced(m.reply(protocol::readAddressRequest())), spaced(withCrc("07 25 02 07 04")));
        // The current code in byte 3 is not examined.
        QVERIFY(!m.reply(protocol::changeBaudRequest(3, 1)).isEmpty());
        QCOMPARE(m.baudRate(), 4800);
    }

    void writeThenReadSerials()
    {
        ModuleModel m = fixture();
        QVERIFY(!m.reply(protocol::writeSerialRequest(7, 2, 3, serialOf(romC))).isEmpty());
        QVERIFY(!m.reply(protocol::writeSerialRequest(7, 2, 1, serialOf(romB))).isEmpty());
        QCOMPARE(spaced(m.reply(protocol::readSerialsRequest(7, 2, 4))),
                 spaced(protocol::appendCrc(hex("07 22 02") + hex(romB) + hex(romB) + hex(romC) +
                                            QByteArray(8, '\xFF'))));
        // Another channel's table is untouched, and a failed write stores nothing.
        QCOMPARE(m.tableEntry(3, 3), blankRom());
        QVERIFY(!m.reply(protocol::writeSerialRequest(7, 2, 9, serialOf(romA))).isEmpty());
        QCOMPARE(m.tableEntry(2, 9), blankRom());
    }

    void searchFillsTable()
    {
        ModuleModel m = fixture();
        for (int pos = 1; pos <= 6; ++pos)
            m.setTableEntry(5, pos, romOf(romA));
        m.setTableEntry(3, 1, romOf(romA));
        QCOMPARE(spaced(m.reply(protocol::autoSearchRequest(7, 3, 3))), spaced(withCrc("07 06 0C 00 00 01")));
        QCOMPARE(m.tableEntry(5, 1), romOf(romC));
        for (int pos = 2; pos <= 6; ++pos)
            QCOMPARE(m.tableEntry(5, pos), blankRom());
        QCOMPARE(m.tableEntry(3, 1), blankRom());  // an empty bus clears the table
        QCOMPARE(m.tableEntry(2, 1), romOf(romA)); // outside the searched channels

        // More sensors than positions: all are counted, the table keeps what fits.
        QVector<Rom> many;
        for (int i = 0; i < 10; ++i)
            many << makeRom(quint8(i + 1), 0x11, 0x22, 0x33);
        m.setBus(6, many);
        QCOMPARE(spaced(m.reply(protocol::autoSearchRequest(7, 6, 1))), spaced(withCrc("07 06 0C 0A")));
        QCOMPARE(m.tableEntry(6, 8), many[7]);
        QCOMPARE(m.tableEntry(6, 9), blankRom());
    }

    void readInStoresAtPosition()
    {
        ModuleModel m = fixture();
        QVERIFY(!m.reply(protocol::manualReadInRequest(7, 5, 4)).isEmpty());
        QCOMPARE(m.tableEntry(5, 4), romOf(romC));
        QCOMPARE(m.tableEntry(5, 3), blankRom());
        QCOMPARE(m.tableEntry(5, 5), blankRom());
        // Nothing on the bus: nothing stored.
        m.setTableEntry(3, 2, romOf(romB));
        QVERIFY(!m.reply(protocol::manualReadInRequest(7, 3, 2)).isEmpty());
        QCOMPARE(m.tableEntry(3, 2), romOf(romB));
    }

    void positionsAbove128()
    {
        // Read-in positions above 128 and long serial lists must work like any other.
        ModuleModel m;
        m.setPositionCount(160);
        m.setBus(1, {romOf(romB)});
        QCOMPARE(spaced(m.reply(protocol::manualReadInRequest(1, 1, 150))),
                 spaced(protocol::appendCrc(hex("01 22 01") + hex(romB))));
        const QByteArray list = m.reply(protocol::readSerialsRequest(1, 1, 150));
        QCOMPARE(list.size(), 8 * 150 + 5);
        QCOMPARE(spaced(list.mid(3 + 8 * 149, 8)), QString::fromLatin1(romB));
    }

    void demoInstallation()
    {
        const ModuleModel m = ModuleModel::demo();
        QCOMPARE(m.station(), 1);
        QCOMPARE(m.baudCode(), 2);
        QCOMPARE(m.channelCount(), 10);
        QCOMPARE(m.positionCount(), 40);
        QMap<int, int> kinds;
        bool negative = false;
        for (int ch = 1; ch <= 10; ++ch) {
            for (int pos = 1; pos <= 40; ++pos) {
                const SensorState s = m.sensor(ch, pos);
                ++kinds[s.kind];
                if (s.kind == SensorState::Temperature) {
                    QVERIFY2(s.hundredths >= -1250 && s.hundredths <= 3000,
                             qPrintable(QString::number(s.hundredths)));
                    negative = negative || s.hundredths < 0;
                }
            }
            const QVector<Rom> bus = m.bus(ch);
            QVERIFY(bus.size() >= 2 && bus.size() <= 5);
            for (int i = 0; i < bus.size(); ++i) {
                const Rom& rom = bus[i];
                QCOMPARE(rom[0], quint8(0x28));
                QCOMPARE(rom[5], quint8(0));
                QCOMPARE(rom[6], quint8(0));
                QVERIFY(rom[1] != 0 || rom[2] != 0);
                QCOMPARE(rom[7], romCrc8(rom));
                QCOMPARE(m.tableEntry(ch, i + 1), rom);
            }
            QCOMPARE(m.tableEntry(ch, int(bus.size()) + 1), blankRom());
        }
        QVERIFY(negative);
        QVERIFY(kinds[SensorState::NotWired] >= 2);
        QCOMPARE(kinds[SensorState::NotRecognised], 2);
        QCOMPARE(kinds[SensorState::NoValue], 2);
    }

    void driftStaysNearItsValue()
    {
        const ModuleModel start = ModuleModel::demo();
        ModuleModel m = start;
        QRandomGenerator random(42);
        for (int i = 0; i < 400; ++i)
            m.drift(random);
        int moved = 0;
        for (int ch = 1; ch <= 10; ++ch) {
            for (int pos = 1; pos <= 40; ++pos) {
                const SensorState before = start.sensor(ch, pos);
                const SensorState after = m.sensor(ch, pos);
                QCOMPARE(after.kind, before.kind);
                QVERIFY(qAbs(after.hundredths - before.hundredths) <= 100);
                moved += after.hundredths != before.hundredths;
            }
        }
        QVERIFY(moved > 100);
    }

    void channelOfRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("channel");
        QTest::addColumn<bool>("concerns");
        using namespace protocol;
        QTest::newRow("temperature, its channel") << temperatureRequest(1, 3, 4, 1, 2) << 4 << true;
        QTest::newRow("temperature, another") << temperatureRequest(1, 3, 4, 1, 2) << 3 << false;
        QTest::newRow("read serials") << readSerialsRequest(1, 6, 2) << 6 << true;
        QTest::newRow("write") << writeSerialRequest(1, 2, 1, serialOf(romA)) << 2 << true;
        QTest::newRow("search, inside the range") << autoSearchRequest(1, 3, 3) << 5 << true;
        QTest::newRow("search, past the range") << autoSearchRequest(1, 3, 3) << 6 << false;
        QTest::newRow("read address: none") << readAddressRequest() << 2 << false;
    }
    void channelOfRequest()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, channel);
        QFETCH(bool, concerns);
        QCOMPARE(ModuleModel::concernsChannel(request, channel), concerns);
    }

    // --- faults ---------------------------------------------------------

    void faultParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("argument");
        QTest::addColumn<int>("remaining");
        QTest::addColumn<int>("channel");
        QTest::newRow("noreply") << "noreply" << int(Fault::NoReply) << 0 << -1 << 0;
        QTest::newRow("spelling") << "No-Reply" << int(Fault::NoReply) << 0 << -1 << 0;
        QTest::newRow("delay") << "delay:300" << int(Fault::Delay) << 300 << -1 << 0;
        QTest::newRow("truncate, next, channel")
            << "truncate:5,next=2,channel=4" << int(Fault::Truncate) << 5 << 2 << 4;
        QTest::newRow("garbage, same size") << "garbage" << int(Fault::Garbage) << 0 << -1 << 0;
        QTest::newRow("garbage, 4 bytes") << "garbage:4" << int(Fault::Garbage) << 4 << -1 << 0;
        QTest::newRow("vanish once") << "vanish,next=1" << int(Fault::Vanish) << 0 << 1 << 0;
        QTest::newRow("vanish mid-reply") << "vanish:4" << int(Fault::Vanish) << 4 << -1 << 0;
        QTest::newRow("collision") << "collision,channel=2" << int(Fault::Collision) << 0 << -1 << 2;
        QTest::newRow("wrong station") << "wrong-station:7" << int(Fault::WrongStation) << 7 << -1 << 0;
        QTest::newRow("none") << "none" << int(Fault::None) << 0 << -1 << 0;
        QTest::newRow("echo") << "echo" << int(Fault::Echo) << 0 << -1 << 0;
        QTest::newRow("lead zeros") << "leadzero:5" << int(Fault::LeadZero) << 5 << -1 << 0;
        QTest::newRow("jitter") << "jitter:80,next=3" << int(Fault::Jitter) << 80 << 3 << 0;
        QTest::newRow("turnaround") << "turnaround:600" << int(Fault::Turnaround) << 600 << -1 << 0;
    }
    void faultParsing()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, argument);
        QFETCH(int, remaining);
        QFETCH(int, channel);
        QString error;
        const std::optional<Fault> fault = Fault::parse(text, &error);
        QVERIFY2(fault, qPrintable(error));
        QCOMPARE(int(fault->kind), kind);
        QCOMPARE(fault->argument, argument);
        QCOMPARE(fault->remaining, remaining);
        QCOMPARE(fault->channel, channel);
        // What toString() prints parses back to the same fault.
        const std::optional<Fault> again = Fault::parse(fault->toString(), &error);
        QVERIFY2(again, qPrintable(error));
        QCOMPARE(again->toString(), fault->toString());
    }

    void faultErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown kind") << "explode"
                                      << "unknown fault";
        QTest::newRow("delay without ms") << "delay"
                                          << "needs a number";
        QTest::newRow("delay not a number") << "delay:soon"
                                            << "unexpected";
        QTest::newRow("argument where none is taken") << "noreply:3"
                                                      << "unexpected";
        QTest::newRow("no extra bytes") << "extrabytes:0"
                                        << "at least 1";
        QTest::newRow("station beyond a byte") << "wrongstation:256"
                                               << "1..255";
        QTest::newRow("no lead zeros") << "leadzero:0"
                                       << "1..1000";
        QTest::newRow("turnaround without ms") << "turnaround"
                                               << "needs a number";
        QTest::newRow("next=0") << "noreply,next=0"
                                << "next=";
        QTest::newRow("channel 11") << "noreply,channel=11"
                                    << "channel=";
        QTest::newRow("unknown option") << "delay:5,every=2"
                                        << "unknown fault option";
    }
    void faultErrors()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!Fault::parse(text, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    // --- scenario files ---------------------------------------------------

    void scenarioFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("cold-store.scn"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# cold store, two channels\r\n"
                   "station 7\r\n"
                   "baud 19200\n"
                   "channels 2\n"
                   "positions 12   # short buses\n"
                   "\n"
                   "temp 1-2 1-12 4.5\n"
                   "temp 1 3 -2.00\n"
                   "temp 2 1 -12.50\n"
                   "notwired 1 4\n"
                   "notrecognised 1 5\n"
                   "novalue 2 6\n"
                   "bus 2 28 FF 4B 3C 61 00 00 8A\n"
                   "bus 2 28 a1 b2 c3 d4 0 0 11\n"
                   "fill 2\n"
                   "table 1 3 28 05 06 07 08 00 00 99\n"
                   "fault delay 250 next=2 channel=1\n"
                   "fault noreply\n");
        file.close();

        Scenario scenario;
        QString errors;
        QVERIFY2(applyScenarioFile(path, scenario, &errors), qPrintable(errors));
        const ModuleModel& m = scenario.model;
        QCOMPARE(m.station(), 7);
        QCOMPARE(m.baudRate(), 19200);
        QCOMPARE(m.channelCount(), 2);
        QCOMPARE(m.positionCount(), 12);
        QCOMPARE(m.sensor(2, 12), SensorState::temperature(450));
        QCOMPARE(m.sensor(1, 3), SensorState::temperature(-200));
        QCOMPARE(m.sensor(2, 1), SensorState::temperature(-1250));
        QCOMPARE(m.sensor(1, 4), SensorState::notWired());
        QCOMPARE(m.sensor(1, 5), SensorState::notRecognised());
        QCOMPARE(m.sensor(2, 6), SensorState::noValue());
        QCOMPARE(m.sensor(1, 13), SensorState::notWired()); // outside the ranges: untouched
        QCOMPARE(m.bus(2).size(), 2);
        QCOMPARE(m.tableEntry(2, 1), romOf(romB));
        QCOMPARE(m.tableEntry(2, 2), romOf(romA));
        QCOMPARE(m.tableEntry(1, 3), romOf(romC));
        QCOMPARE(scenario.faults.size(), 2);
        QCOMPARE(scenario.faults[0].toString(), QStringLiteral("delay:250,next=2,channel=1"));
        QCOMPARE(scenario.faults[1].toString(), QStringLiteral("noreply"));
        // Channels beyond the ones in use read "no value".
        QCOMPARE(m.registerAt(3, 1), ModuleModel::NoValueRegister);

        QVERIFY(!applyScenarioFile(dir.filePath(QStringLiteral("missing.scn")), scenario, &errors));
        QVERIFY2(errors.contains(QStringLiteral("missing.scn")), qPrintable(errors));
    }

    // The examples shipped with the simulator (and quoted in its documentation) stay valid.
    void shippedScenarios()
    {
        const QDir dir(QStringLiteral(TQ_SIM_SCENARIOS_DIR));
        const QStringList files = dir.entryList({QStringLiteral("*.scn")}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            Scenario scenario;
            QString errors;
            QVERIFY2(applyScenarioFile(dir.filePath(name), scenario, &errors), qPrintable(errors));
        }
    }

    void scenarioDemoAndFaultNone()
    {
        Scenario scenario;
        QString errors;
        QVERIFY2(
            applyScenarioText(QStringLiteral("fault noreply\ndemo\nstation 9\nfault none\nfault vanish\n"),
                              QStringLiteral("s"), scenario, &errors),
            qPrintable(errors));
        QCOMPARE(scenario.model.station(), 9);
        QCOMPARE(scenario.model.bus(1), ModuleModel::demo().bus(1));
        QCOMPARE(scenario.faults.size(), 1);
        QCOMPARE(scenario.faults[0].kind, Fault::Vanish);
    }

    void scenarioErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("station 0") << "station 0" << QStringList{"x.scn:1: station must be 1..249"};
        QTest::newRow("unsupported baud") << "station 7\nbaud 9601\n" << QStringList{"x.scn:2: baud must be"};
        QTest::newRow("not-wired code as temperature")
            << "temp 3 5 -177.10" << QStringList{"x.scn:1: bad temperature"};
        QTest::newRow("three decimals") << "temp 3 5 20.125" << QStringList{"x.scn:1: bad temperature"};
        QTest::newRow("channel 11") << "notwired 11 1" << QStringList{"x.scn:1: bad channel"};
        QTest::newRow("backwards range") << "novalue 1 9-3" << QStringList{"x.scn:1: bad position"};
        QTest::newRow("short serial") << "bus 4 28 FF" << QStringList{"x.scn:1: usage: bus"};
        QTest::newRow("not hex") << "table 4 1 28 FF 4B 3C 61 00 00 GG"
                                 << QStringList{"x.scn:1: bad serial number"};
        QTest::newRow("missing argument") << "temp 3 5" << QStringList{"x.scn:1: usage: temp CH POS DEGREES"};
        QTest::newRow("bad fault") << "fault delay" << QStringList{"x.scn:1: fault delay needs a number"};
        QTest::newRow("swing above 50") << "swing 50.5" << QStringList{"x.scn:1: swing must be 0..50"};
        QTest::newRow("noise not a number") << "noise nan" << QStringList{"x.scn:1: noise must be 0..5"};
        QTest::newRow("phase past a day") << "phase 1-10 25" << QStringList{"x.scn:1: phase must be 0..24"};
        QTest::newRow("hot spot without a rate")
            << "hotspot 3 12" << QStringList{"x.scn:1: usage: hotspot CH POS RATE [DELAY]"};
        QTest::newRow("hot spot at position 161")
            << "hotspot 3 161 12" << QStringList{"x.scn:1: bad channel (1..10) or position"};
        QTest::newRow("hot spot not rising")
            << "hotspot 3 12 0" << QStringList{"x.scn:1: hot spot rate must be"};
        QTest::newRow("hot spot negative delay")
            << "hotspot 3 12 5 -1" << QStringList{"x.scn:1: hot spot delay must be"};
        QTest::newRow("time standing still") << "timescale 0" << QStringList{"x.scn:1: timescale must be"};
        QTest::newRow("unknown directive")
            << "# setup\n\nfrobnicate 3" << QStringList{"x.scn:3: unknown directive"};
        QTest::newRow("every faulty line is reported")
            << "station 3\nchannels 0\ntemp 1 1 20\npositions 200\n"
            << QStringList{"x.scn:2: channels must be 1..10", "x.scn:4: positions must be 1..160"};
    }
    void scenarioErrors()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Scenario scenario;
        QString errors;
        QVERIFY(!applyScenarioText(text, QStringLiteral("x.scn"), scenario, &errors));
        const QStringList lines = errors.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(expected[i]), qPrintable(lines[i]));
    }

    void scenarioGoodLinesStillApply()
    {
        Scenario scenario;
        QString errors;
        QVERIFY(!applyScenarioText(QStringLiteral("station 3\nchannels 0\ntemp 1 1 20\n"),
                                   QStringLiteral("x"), scenario, &errors));
        QCOMPARE(scenario.model.station(), 3);
        QCOMPARE(scenario.model.sensor(1, 1), SensorState::temperature(2000));
        QCOMPARE(scenario.model.channelCount(), 10);
    }

    // --- temperatures over time -------------------------------------------

    // One sensor set to `set`, under the course the scenario lines describe.
    void readingAtTime_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("set");
        QTest::addColumn<double>("hours");
        QTest::addColumn<int>("expected");
        QTest::newRow("swing at 0 h: the set value") << "swing 3" << 1 << 2000 << 0.0 << 2000;
        QTest::newRow("swing at 6 h: its top") << "swing 3" << 1 << 2000 << 6.0 << 2300;
        QTest::newRow("swing at 12 h: back") << "swing 3" << 1 << 2000 << 12.0 << 2000;
        QTest::newRow("swing at 18 h: its bottom") << "swing 3" << 1 << 2000 << 18.0 << 1700;
        QTest::newRow("phase: channel 3 peaks 6 h later")
            << "swing 3\nphase 2-3 6" << 3 << 2000 << 12.0 << 2300;
        QTest::newRow("phase: channel 4 unaffected") << "swing 3\nphase 2-3 6" << 4 << 2000 << 6.0 << 2300;
        QTest::newRow("hot spot before its delay") << "hotspot 3 12 12 1800" << 3 << 2000 << 0.25 << 2000;
        QTest::newRow("hot spot half an hour on") << "hotspot 3 12 12 1800" << 3 << 2000 << 1.0 << 2600;
        QTest::newRow("hot spot on the swing") << "swing 3\nhotspot 3 12 10" << 3 << 2000 << 6.0 << 8300;
        QTest::newRow("hot spot clamped at 125") << "hotspot 3 12 12" << 3 << 2000 << 100.0 << 12500;
        QTest::newRow("hot spot elsewhere") << "hotspot 3 13 12" << 3 << 2000 << 6.0 << 2000;
        QTest::newRow("clamped at -55") << "swing 10" << 3 << -5000 << 18.0 << -5500;
        QTest::newRow("set above the range") << "swing 1" << 3 << 20000 << 0.0 << 12500;
        QTest::newRow("-0.01 is the no-value code") << "swing 1" << 3 << -101 << 6.0 << 0;
    }
    void readingAtTime()
    {
        QFETCH(QString, lines);
        QFETCH(int, channel);
        QFETCH(int, set);
        QFETCH(double, hours);
        QFETCH(int, expected);
        Scenario scenario;
        QString errors;
        QVERIFY2(applyScenarioText(lines, QStringLiteral("s"), scenario, &errors), qPrintable(errors));
        QCOMPARE(scenario.model.course().hundredthsAt(channel, 12, set, hours * 3600), expected);
    }

    void noiseIsBoundedAndRepeats()
    {
        TemperatureCourse course;
        course.noiseDegrees = 0.05;
        QSet<int> seen;
        int changes = 0;
        for (int second = 0; second < 2000; ++second) {
            const int value = course.hundredthsAt(2, 7, 2000, second);
            QVERIFY2(value >= 1995 && value <= 2005, qPrintable(QString::number(value)));
            QCOMPARE(course.hundredthsAt(2, 7, 2000, second + 0.9), value); // steady within a second
            changes += value != course.hundredthsAt(2, 7, 2000, second + 1);
            seen.insert(value);
        }
        QCOMPARE(seen.size(), 11); // every value from -0.05 to +0.05
        QVERIFY(changes > 1500);   // a new one nearly every second
        TemperatureCourse other = course;
        other.seed = 2;
        QVERIFY(other.hundredthsAt(2, 7, 2000, 5) != course.hundredthsAt(2, 7, 2000, 5) ||
                other.hundredthsAt(2, 7, 2000, 6) != course.hundredthsAt(2, 7, 2000, 6));
    }

    // A read is answered with the values at the module's time, scaled; codes stay codes.
    void temperatureReplyFollowsTheClock_data()
    {
        QTest::addColumn<QString>("timeScale");
        QTest::addColumn<int>("realSeconds");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("start") << "60" << 0 << withCrc("07 03 04 07 D0 BA D2");
        QTest::newRow("6 real minutes at 60: the top") << "60" << 360 << withCrc("07 03 04 08 FC BA D2");
        QTest::newRow("18 real minutes at 60: the bottom") << "60" << 1080 << withCrc("07 03 04 06 A4 BA D2");
        QTest::newRow("6 real minutes at 1") << "1" << 360 << withCrc("07 03 04 07 D8 BA D2");
    }
    void temperatureReplyFollowsTheClock()
    {
        QFETCH(QString, timeScale);
        QFETCH(int, realSeconds);
        QFETCH(QByteArray, expected);
        ModuleModel m = fixture();
        m.setSensor(4, 2, SensorState::temperature(2000));
        QList<Fault> faults;
        QVERIFY(applyScenarioLine(QStringLiteral("swing 3"), m, faults, nullptr));
        QVERIFY(applyScenarioLine(QStringLiteral("timescale ") + timeScale, m, faults, nullptr));
        m.setClock([realSeconds] { return qint64(realSeconds) * 1000; });
        QCOMPARE(spaced(m.reply(protocol::temperatureRequest(7, 3, 4, 2, 2))), spaced(expected));
    }

    void scenarioCourse()
    {
        Scenario scenario;
        scenario.model.setClock([] { return qint64(1000); });
        QString errors;
        QVERIFY2(applyScenarioText(QStringLiteral("swing 2\nnoise 0.1\nphase 2-4 6.5\nhotspot 3 12 12 1800\n"
                                                  "hotspot 1 1 5\ntimescale 60\ndemo\n"),
                                   QStringLiteral("s"), scenario, &errors),
                 qPrintable(errors));
        const TemperatureCourse& course = scenario.model.course(); // kept by "demo"
        QCOMPARE(course.swingDegrees, 2.0);
        QCOMPARE(course.noiseDegrees, 0.1);
        QCOMPARE(course.phaseHours, (std::array<double, 10>{0, 6.5, 6.5, 6.5, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(course.hotSpots, (QList<HotSpot>{{3, 12, 12, 1800}, {1, 1, 5, 0}}));
        QCOMPARE(course.timeScale, 60.0);
        QCOMPARE(scenario.model.simulatedSeconds(), 60.0); // and its clock
        QVERIFY(applyScenarioText(QStringLiteral("hotspot none"), QStringLiteral("s"), scenario, &errors));
        QVERIFY(scenario.model.course().hotSpots.isEmpty());
    }

    // The history demo: channel 3 position 12 shows its rise within a real
    // minute and passes a 45 °C alarm limit within a few.
    void historyDemoHotSpot()
    {
        Scenario scenario;
        QString errors;
        const QString path = QStringLiteral(TQ_SIM_SCENARIOS_DIR "/demo-history.scn");
        QVERIFY2(applyScenarioFile(path, scenario, &errors), qPrintable(errors));
        ModuleModel& m = scenario.model;
        const int set = m.sensor(3, 12).hundredths;
        const auto readingAt = [&m](int realSeconds) {
            m.setClock([realSeconds] { return qint64(realSeconds) * 1000; });
            return int(m.registerAt(3, 12)); // positive: the register is the hundredths
        };
        QVERIFY(readingAt(60) > set + 300);
        QVERIFY(readingAt(180) > 4500);
    }

    // --- frame splitter -------------------------------------------------

    void splitter_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QList<qint64>>("times"); // microseconds
        QTest::addColumn<QByteArrayList>("frames");
        QTest::addColumn<QByteArray>("pending");
        QTest::addColumn<QByteArray>("discarded");
        using namespace protocol;
        const QByteArray t = temperatureRequest(1, 3, 4, 1, 40);
        const QByteArray r = readSerialsRequest(1, 2, 16);
        const QByteArray s = autoSearchRequest(1, 3, 2);
        const QByteArray w = writeSerialRequest(1, 2, 5, serialOf(romB));
        QByteArray broken = t;
        broken[5] = char(broken.at(5) ^ 0x10);

        QTest::newRow("one frame") << QByteArrayList{t} << QList<qint64>{0} << QByteArrayList{t}
                                   << QByteArray() << QByteArray();
        QTest::newRow("two frames back to back") << QByteArrayList{t + r} << QList<qint64>{0}
                                                 << QByteArrayList{t, r} << QByteArray() << QByteArray();
        QTest::newRow("frame split within the gap")
            << QByteArrayList{t.left(3), t.mid(3)} << QList<qint64>{0, 2000} << QByteArrayList{t}
            << QByteArray() << QByteArray();
        QTest::newRow("frame split by a silence")
            << QByteArrayList{t.left(3), t.mid(3)} << QList<qint64>{0, 5000} << QByteArrayList{} << t.mid(3)
            << t.left(3);
        QTest::newRow("silence ends a fragment, the next frame counts")
            << QByteArrayList{t.left(5), r} << QList<qint64>{0, 10000} << QByteArrayList{r} << QByteArray()
            << t.left(5);
        QTest::newRow("garbage before a frame")
            << QByteArrayList{hex("FF 00 55 AA 13") + t} << QList<qint64>{0} << QByteArrayList{t}
            << QByteArray() << hex("FF 00 55 AA 13");
        QTest::newRow("broken frame, then a good one")
            << QByteArrayList{broken + r} << QList<qint64>{0} << QByteArrayList{r} << QByteArray() << broken;
        QTest::newRow("search with its pad byte") << QByteArrayList{s + t} << QList<qint64>{0}
                                                  << QByteArrayList{s, t} << QByteArray() << QByteArray();
        QTest::newRow("search, pad byte late")
            << QByteArrayList{s.left(8), s.mid(8) + t} << QList<qint64>{0, 1000}
            << QByteArrayList{s.left(8), t} << QByteArray() << QByteArray();
        QTest::newRow("write, 15 bytes in pieces")
            << QByteArrayList{w.left(2), w.mid(2, 9), w.mid(11)} << QList<qint64>{0, 1000, 2000}
            << QByteArrayList{w} << QByteArray() << QByteArray();
        const QByteArray toStation0 = changeAddressRequest(0, 12);
        QTest::newRow("a request to station 0 is still a request")
            << QByteArrayList{toStation0 + t} << QList<qint64>{0} << QByteArrayList{toStation0, t}
            << QByteArray() << QByteArray();
        QTest::newRow("frame and the start of the next") << QByteArrayList{t + r.left(4)} << QList<qint64>{0}
                                                         << QByteArrayList{t} << r.left(4) << QByteArray();
    }
    void splitter()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QList<qint64>, times);
        QFETCH(QByteArrayList, frames);
        QFETCH(QByteArray, pending);
        QFETCH(QByteArray, discarded);
        FrameSplitter splitter;
        splitter.setSilenceGapMicros(protocol::interFrameGapUs(9600));
        QStringList got;
        for (int i = 0; i < chunks.size(); ++i) {
            for (const QByteArray& frame : splitter.push(chunks[i], times[i]))
                got << spaced(frame);
        }
        QStringList want;
        for (const QByteArray& frame : frames)
            want << spaced(frame);
        QCOMPARE(got, want);
        QCOMPARE(spaced(splitter.pending()), spaced(pending));
        QCOMPARE(spaced(splitter.takeDiscarded()), spaced(discarded));
    }

    void splitterSizes()
    {
        QCOMPARE(FrameSplitter::requestSize(hex("01 03")), 0);
        QCOMPARE(FrameSplitter::requestSize(hex("01 03 04")), 8);
        QCOMPARE(FrameSplitter::requestSize(hex("01 22 02")), 8);
        QCOMPARE(FrameSplitter::requestSize(hex("01 22 0C")), 15);
        QCOMPARE(FrameSplitter::requestSize(hex("01 06 0C")), 9);
        QCOMPARE(FrameSplitter::requestSize(hex("01 06 0B")), 8);
    }
};

QTEST_GUILESS_MAIN(TestSimModel)
#include "test_sim_model.moc"
