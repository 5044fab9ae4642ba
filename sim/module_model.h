#pragma once
// A pure request -> reply model of one acquisition module: station address,
// baud code, sensor states per channel and position, the per-channel serial
// number tables and the sensors physically on each channel's bus.

#include "protocol/module_limits.h"
#include "temperature_course.h"

#include <QByteArray>
#include <QVector>

#include <array>
#include <functional>
#include <utility>
#include <vector>

class QRandomGenerator;

namespace sim {

using Rom = std::array<quint8, 8>;

// Reading of one sensor position as the module reports it.
struct SensorState
{
    enum Kind { Temperature, NotWired, NotRecognised, NoValue };
    Kind kind = NotWired;
    int hundredths = 0; // signed hundredths of a degree, Temperature only

    static SensorState temperature(int hundredths) { return {Temperature, hundredths}; }
    static SensorState notWired() { return {NotWired, 0}; }
    static SensorState notRecognised() { return {NotRecognised, 0}; }
    static SensorState noValue() { return {NoValue, 0}; }

    // The 16-bit register: the value (negative as 65536 + value) or the fixed code.
    quint16 registerValue() const;
    bool operator==(const SensorState& other) const
    {
        return kind == other.kind && (kind != Temperature || hundredths == other.hundredths);
    }
};

// Hundredths the register can carry as a temperature: -255.35 .. 400.00,
// except the two values that collide with the fault codes.
bool isEncodableTemperature(int hundredths);

// Dallas/Maxim CRC-8 (poly 0x31 reflected) over the first seven ROM bytes.
quint8 romCrc8(const Rom& rom);
// A plausible sensor ROM: family 0x28, six id bytes with bytes 5 and 6 zero, CRC-8 last.
Rom makeRom(quint8 b1, quint8 b2, quint8 b3, quint8 b4);
Rom blankRom(); // FF x 8: an unset table entry
Rom zeroRom();  // 00 x 8: what a failed read-in or write reports

class ModuleModel
{
public:
    static constexpr quint16 NotWiredRegister = 0xBAD2;
    static constexpr quint16 NotRecognisedRegister = 0xB492;
    static constexpr quint16 NoValueRegister = 0xFFFF;

    // Station 1, baud code 2 (9600), 10 channels x 40 positions, nothing
    // wired, empty tables and buses.
    ModuleModel();

    // A populated installation for demonstrations and manual testing.
    static ModuleModel demo();

    int station() const { return m_station; }
    void setStation(int station);
    int baudCode() const { return m_baudCode; }
    void setBaudCode(int code);
    int baudRate() const;

    // Channels in use (1..10) and positions per channel (1..160). Reads beyond
    // them report "no value"; writes there fail.
    int channelCount() const { return m_channelCount; }
    void setChannelCount(int count);
    int positionCount() const { return m_positionCount; }
    void setPositionCount(int count);

    // The state a position was set to (a temperature: its value before the
    // course moves it).
    SensorState sensor(int channel, int position) const;
    void setSensor(int channel, int position, SensorState state);
    // The register a read reports now: a temperature as the course has moved it.
    quint16 registerAt(int channel, int position) const;

    // How temperatures move with time; by default they stay as set.
    const TemperatureCourse& course() const { return m_course; }
    void setCourse(const TemperatureCourse& course) { m_course = course; }
    // Real milliseconds since the module came up (by default since this model
    // was made; copies share that moment). Tests put their own clock here.
    using Clock = std::function<qint64()>;
    const Clock& clock() const { return m_clock; }
    void setClock(Clock elapsedMs) { m_clock = std::move(elapsedMs); }
    // The clock's time scaled by the course's time scale.
    double simulatedSeconds() const;

    Rom tableEntry(int channel, int position) const;
    void setTableEntry(int channel, int position, const Rom& rom);
    void clearTable(int channel);

    QVector<Rom> bus(int channel) const;
    void setBus(int channel, const QVector<Rom>& roms);
    void addToBus(int channel, const Rom& rom);
    // What an automatic search does to one channel: the table becomes the bus
    // in order, the rest is cleared. Returns the number of sensors found.
    int fillTableFromBus(int channel);

    // Moves every temperature a little, within +-1.00 of the value it was set to.
    void drift(QRandomGenerator& random);

    // The module's answer to one request frame; empty when it stays silent
    // (bad CRC, another station, a frame of the wrong size, a refused value).
    // Requests that change the module change it here, including the baud code.
    QByteArray reply(const QByteArray& request);

    // Whether a request names the channel (a search covers channels c..c+m-1);
    // address and baud requests concern none.
    static bool concernsChannel(const QByteArray& request, int channel);

private:
    static bool validChannel(int channel)
    {
        return channel >= 1 && channel <= protocol::MaxChannelsPerModule;
    }
    static bool validPosition(int position)
    {
        return position >= 1 && position <= protocol::MaxPositionsPerChannel;
    }
    // One slot per channel and position.
    static constexpr size_t SlotCount =
        size_t(protocol::MaxChannelsPerModule * protocol::MaxPositionsPerChannel);
    static int index(int channel, int position)
    {
        return (channel - 1) * protocol::MaxPositionsPerChannel + (position - 1);
    }
    QByteArray exception(quint8 function, quint8 code) const;
    QByteArray temperatureReply(const QByteArray& request) const;
    QByteArray serialsReply(const QByteArray& request);
    QByteArray searchReply(const QByteArray& request);
    QByteArray configReply(const QByteArray& request);

    int m_station = 1;
    int m_baudCode = 2;
    int m_channelCount = protocol::MaxChannelsPerModule;
    int m_positionCount = 40;
    std::vector<SensorState> m_sensors;
    std::vector<int> m_anchors; // value each temperature drifts around
    std::vector<Rom> m_tables;
    std::array<QVector<Rom>, protocol::MaxChannelsPerModule> m_buses;
    TemperatureCourse m_course;
    Clock m_clock;
};

} // namespace sim
