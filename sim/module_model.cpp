#include "module_model.h"

#include "protocol/baud_codes.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

namespace sim {

namespace {

constexpr quint8 IllegalFunction = 0x01;
constexpr quint8 IllegalAddress = 0x02;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return quint8(bytes.at(i));
}

void appendRom(QByteArray& bytes, const Rom& rom)
{
    for (quint8 b : rom)
        bytes.append(char(b));
}

// Drift keeps each temperature within this many hundredths of its set value.
constexpr int DriftSpan = 100;

} // namespace

quint16 SensorState::registerValue() const
{
    switch (kind) {
    case Temperature:
        return quint16(hundredths < 0 ? 65536 + hundredths : hundredths);
    case NotWired:
        return ModuleModel::NotWiredRegister;
    case NotRecognised:
        return ModuleModel::NotRecognisedRegister;
    case NoValue:
        break;
    }
    return ModuleModel::NoValueRegister;
}

bool isEncodableTemperature(int hundredths)
{
    // 0..40000 read as positive, 40001..65534 as negative: -25535..-2 below zero.
    if (hundredths > 40000 || hundredths < -25535 || hundredths == -1)
        return false;
    return hundredths != int(ModuleModel::NotWiredRegister) - 65536 &&
           hundredths != int(ModuleModel::NotRecognisedRegister) - 65536;
}

quint8 romCrc8(const Rom& rom)
{
    quint8 crc = 0;
    for (int i = 0; i < 7; ++i) {
        quint8 b = rom[size_t(i)];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ b) & 0x01;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            b >>= 1;
        }
    }
    return crc;
}

Rom makeRom(quint8 b1, quint8 b2, quint8 b3, quint8 b4)
{
    Rom rom{0x28, b1, b2, b3, b4, 0x00, 0x00, 0x00};
    rom[7] = romCrc8(rom);
    return rom;
}

Rom blankRom()
{
    Rom rom;
    rom.fill(0xFF);
    return rom;
}

Rom zeroRom()
{
    return Rom{};
}

ModuleModel::ModuleModel() : m_sensors(SlotCount), m_anchors(SlotCount, 0), m_tables(SlotCount, blankRom())
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    m_clock = [sinceStart] { return sinceStart.elapsed(); };
}

ModuleModel ModuleModel::demo()
{
    ModuleModel m;
    for (int ch = 1; ch <= protocol::MaxChannelsPerModule; ++ch) {
        for (int pos = 1; pos <= m.positionCount(); ++pos) {
            // 18.50 .. 27.89: a gradient across channels and a scatter along the bus.
            quint32 h = quint32(ch) * 73856093u ^ quint32(pos) * 19349663u;
            h = (h ^ (h >> 13)) * 0x5bd1e995u;
            const int t = 1850 + (ch - 1) * 60 + int((h ^ (h >> 15)) % 400);
            m.setSensor(ch, pos, SensorState::temperature(t));
        }
    }
    // A cold store and a freezer probe, and a value just below zero.
    m.setSensor(3, 6, SensorState::temperature(-200));
    m.setSensor(7, 12, SensorState::temperature(-1250));
    m.setSensor(9, 3, SensorState::temperature(-75));
    for (auto [ch, pos] : {std::pair{2, 40}, {5, 17}, {5, 18}, {10, 33}})
        m.setSensor(ch, pos, SensorState::notWired());
    for (auto [ch, pos] : {std::pair{4, 9}, {8, 22}})
        m.setSensor(ch, pos, SensorState::notRecognised());
    for (auto [ch, pos] : {std::pair{6, 30}, {1, 39}})
        m.setSensor(ch, pos, SensorState::noValue());

    for (int ch = 1; ch <= protocol::MaxChannelsPerModule; ++ch) {
        const int count = 2 + ch % 4;
        for (int k = 0; k < count; ++k)
            m.addToBus(ch, makeRom(quint8(0xA0 + ch), quint8(0x10 * k + ch), quint8(0x3C + 3 * k),
                                   quint8(0x61 + ch)));
        m.fillTableFromBus(ch);
    }
    return m;
}

int ModuleModel::baudRate() const
{
    return protocol::baudRateForCode(m_baudCode);
}

void ModuleModel::setStation(int station)
{
    if (station >= 1 && station <= 249)
        m_station = station;
}

void ModuleModel::setBaudCode(int code)
{
    if (protocol::baudRateForCode(code) != 0)
        m_baudCode = code;
}

void ModuleModel::setChannelCount(int count)
{
    m_channelCount = qBound(1, count, protocol::MaxChannelsPerModule);
}

void ModuleModel::setPositionCount(int count)
{
    m_positionCount = qBound(1, count, protocol::MaxPositionsPerChannel);
}

SensorState ModuleModel::sensor(int channel, int position) const
{
    if (!validChannel(channel) || !validPosition(position))
        return SensorState::noValue();
    return m_sensors[size_t(index(channel, position))];
}

void ModuleModel::setSensor(int channel, int position, SensorState state)
{
    if (!validChannel(channel) || !validPosition(position))
        return;
    m_sensors[size_t(index(channel, position))] = state;
    m_anchors[size_t(index(channel, position))] = state.hundredths;
}

quint16 ModuleModel::registerAt(int channel, int position) const
{
    if (channel > m_channelCount || position < 1 || position > m_positionCount)
        return NoValueRegister;
    SensorState state = sensor(channel, position);
    if (state.kind == SensorState::Temperature && m_course.moves())
        state.hundredths = m_course.hundredthsAt(channel, position, state.hundredths, simulatedSeconds());
    return state.registerValue();
}

double ModuleModel::simulatedSeconds() const
{
    return double(m_clock()) / 1000 * m_course.timeScale;
}

Rom ModuleModel::tableEntry(int channel, int position) const
{
    if (!validChannel(channel) || !validPosition(position))
        return blankRom();
    return m_tables[size_t(index(channel, position))];
}

void ModuleModel::setTableEntry(int channel, int position, const Rom& rom)
{
    if (validChannel(channel) && validPosition(position))
        m_tables[size_t(index(channel, position))] = rom;
}

void ModuleModel::clearTable(int channel)
{
    for (int pos = 1; pos <= protocol::MaxPositionsPerChannel; ++pos)
        setTableEntry(channel, pos, blankRom());
}

QVector<Rom> ModuleModel::bus(int channel) const
{
    return validChannel(channel) ? m_buses[size_t(channel - 1)] : QVector<Rom>();
}

void ModuleModel::setBus(int channel, const QVector<Rom>& roms)
{
    if (validChannel(channel))
        m_buses[size_t(channel - 1)] = roms;
}

void ModuleModel::addToBus(int channel, const Rom& rom)
{
    if (validChannel(channel))
        m_buses[size_t(channel - 1)].append(rom);
}

int ModuleModel::fillTableFromBus(int channel)
{
    if (!validChannel(channel))
        return 0;
    clearTable(channel);
    const QVector<Rom>& found = m_buses[size_t(channel - 1)];
    const int stored = qMin(int(found.size()), m_positionCount);
    for (int i = 0; i < stored; ++i)
        setTableEntry(channel, i + 1, found[i]);
    return int(found.size());
}

void ModuleModel::drift(QRandomGenerator& random)
{
    for (size_t i = 0; i < m_sensors.size(); ++i) {
        SensorState& s = m_sensors[i];
        if (s.kind != SensorState::Temperature)
            continue;
        const int anchor = m_anchors[i];
        const int next = qBound(anchor - DriftSpan, s.hundredths + random.bounded(-3, 4), anchor + DriftSpan);
        if (isEncodableTemperature(next))
            s.hundredths = next;
    }
}

bool ModuleModel::concernsChannel(const QByteArray& request, int channel)
{
    if (request.size() < 6)
        return false;
    const quint8 fn = byteAt(request, 1);
    if (fn == 0x03 || fn == 0x04)
        return byteAt(request, 2) == channel;
    if (fn == protocol::FunctionSerials)
        return byteAt(request, 3) == channel;
    if (fn == protocol::FunctionWrite && byteAt(request, 2) == protocol::SubSearch) {
        const int first = byteAt(request, 3);
        return channel >= first && channel < first + byteAt(request, 5);
    }
    return false;
}

QByteArray ModuleModel::exception(quint8 function, quint8 code) const
{
    QByteArray bytes;
    bytes.append(char(m_station));
    bytes.append(char(function | 0x80));
    bytes.append(char(code));
    return protocol::appendCrc(bytes);
}

QByteArray ModuleModel::reply(const QByteArray& request)
{
    if (request.size() < 8)
        return {};
    const quint8 fn = byteAt(request, 1);
    const quint8 sub = byteAt(request, 2);
    const bool isWrite = fn == protocol::FunctionSerials && sub == protocol::SubWriteSerial;
    const bool isSearch = fn == protocol::FunctionWrite && sub == protocol::SubSearch;
    const int frameSize = isWrite ? 15 : 8;
    // The search is sent as nine bytes, its CRC before a trailing 0x00.
    if (request.size() != frameSize && !(isSearch && request.size() == 9))
        return {};
    if (!protocol::hasValidCrc(request.left(frameSize)))
        return {};
    const int station = byteAt(request, 0);
    if (station != m_station && station != protocol::WildcardStation)
        return {};

    switch (fn) {
    case 0x03:
    case 0x04:
        return temperatureReply(request);
    case protocol::FunctionSerials:
        return serialsReply(request);
    case protocol::FunctionWrite:
        return isSearch ? searchReply(request) : configReply(request);
    case protocol::FunctionReadAddress: {
        QByteArray bytes;
        for (int b : {m_station, int(protocol::FunctionReadAddress), 0x02, m_station, m_baudCode})
            bytes.append(char(b));
        return protocol::appendCrc(bytes);
    }
    default:
        return exception(fn, IllegalFunction);
    }
}

QByteArray ModuleModel::temperatureReply(const QByteArray& request) const
{
    const quint8 fn = byteAt(request, 1);
    const int channel = byteAt(request, 2);
    const int start = byteAt(request, 3);
    const int count = byteAt(request, 5); // byte 4, the count's high byte, is not examined
    if (!validChannel(channel))
        return exception(fn, IllegalAddress);
    QByteArray bytes;
    bytes.reserve(protocol::temperatureReplyLength(count));
    bytes.append(char(m_station));
    bytes.append(char(fn));
    bytes.append(char((2 * count) & 0xFF));
    for (int pos = start; pos < start + count; ++pos) {
        const quint16 value = registerAt(channel, pos);
        bytes.append(char(value >> 8));
        bytes.append(char(value & 0xFF));
    }
    return protocol::appendCrc(bytes);
}

QByteArray ModuleModel::serialsReply(const QByteArray& request)
{
    const quint8 sub = byteAt(request, 2);
    const int channel = byteAt(request, 3);
    if (sub != protocol::SubReadIn && sub != protocol::SubReadSerials && sub != protocol::SubWriteSerial)
        return exception(protocol::FunctionSerials, IllegalFunction);
    if (!validChannel(channel))
        return exception(protocol::FunctionSerials, IllegalAddress);

    QByteArray bytes;
    bytes.append(char(m_station));
    bytes.append(char(protocol::FunctionSerials));
    bytes.append(char(sub));
    const int position = byteAt(request, 4);
    const bool positionInRange = position >= 1 && position <= m_positionCount;

    if (sub == protocol::SubReadSerials) {
        const int count = byteAt(request, 5);
        for (int pos = 1; pos <= count; ++pos)
            appendRom(bytes, tableEntry(channel, pos));
    } else if (sub == protocol::SubReadIn) {
        // The module reads the one sensor it expects on the bus; with several
        // present it takes the first. Nothing on the bus, or a position outside
        // the table, answers 00 x 8 and stores nothing.
        const QVector<Rom>& found = m_buses[size_t(channel - 1)];
        Rom rom = zeroRom();
        if (!found.isEmpty() && positionInRange) {
            rom = found.first();
            setTableEntry(channel, position, rom);
        }
        appendRom(bytes, rom);
    } else {
        Rom rom;
        std::copy(request.constBegin() + 5, request.constBegin() + 13, rom.begin());
        if (positionInRange) {
            setTableEntry(channel, position, rom);
            appendRom(bytes, tableEntry(channel, position));
        } else {
            appendRom(bytes, zeroRom());
        }
        bytes.append(char(position));
    }
    return protocol::appendCrc(bytes);
}

QByteArray ModuleModel::searchReply(const QByteArray& request)
{
    const int first = byteAt(request, 3);
    const int count = byteAt(request, 5);
    if (!validChannel(first) || first + count - 1 > protocol::MaxChannelsPerModule)
        return exception(protocol::FunctionWrite, IllegalAddress);
    QByteArray bytes;
    bytes.append(char(m_station));
    bytes.append(char(protocol::FunctionWrite));
    bytes.append(char(protocol::SubSearch));
    for (int ch = first; ch < first + count; ++ch)
        bytes.append(char(qMin(fillTableFromBus(ch), 255)));
    return protocol::appendCrc(bytes);
}

QByteArray ModuleModel::configReply(const QByteArray& request)
{
    const quint8 sub = byteAt(request, 2);
    const int value = byteAt(request, 5);
    QByteArray bytes;
    if (sub == protocol::SubChangeAddress) {
        // Addresses outside 1..249 are refused without an answer.
        if (value < 1 || value > 249)
            return {};
        m_station = value;
        for (int b : {value, int(protocol::FunctionWrite), int(protocol::SubChangeAddress), value, 0, 0})
            bytes.append(char(b));
        return protocol::appendCrc(bytes);
    }
    if (sub == protocol::SubChangeBaud) {
        // Byte 3 (the code the sender believes current) is not examined.
        if (protocol::baudRateForCode(value) == 0)
            return {};
        for (int b : {m_station, int(protocol::FunctionWrite), int(protocol::SubChangeBaud), value, 0, 0})
            bytes.append(char(b));
        m_baudCode = value;
        return protocol::appendCrc(bytes);
    }
    return exception(protocol::FunctionWrite, IllegalFunction);
}

} // namespace sim
