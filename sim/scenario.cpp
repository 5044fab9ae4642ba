#include "scenario.h"

#include "protocol/baud_codes.h"
#include "protocol/module_limits.h"

#include <QFile>
#include <QRegularExpression>

#include <optional>

namespace sim {

namespace {

struct Range
{
    int first = 0;
    int last = 0;
};

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

std::optional<int> number(const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

// "5" or "1-40", each end within min..max.
std::optional<Range> range(const QString& text, int min, int max)
{
    const int dash = int(text.indexOf(QLatin1Char('-'), 1));
    const std::optional<int> first = number(dash < 0 ? text : text.left(dash), min, max);
    const std::optional<int> last = dash < 0 ? first : number(text.mid(dash + 1), min, max);
    if (!first || !last || *last < *first)
        return std::nullopt;
    return Range{*first, *last};
}

// Degrees with at most two decimals ("-2", "25.5", "-12.50") to hundredths,
// exactly, without going through a floating-point value.
std::optional<int> hundredths(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(-?)(\\d{1,3})(?:\\.(\\d{1,2}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString fraction = m.captured(3).leftJustified(2, QLatin1Char('0'));
    const int magnitude = m.captured(2).toInt() * 100 + fraction.toInt();
    return m.captured(1).isEmpty() ? magnitude : -magnitude;
}

// A plain decimal number ("3", "0.05", "-1.5") within min..max: no exponent,
// "inf" or "nan", which toDouble() would take.
std::optional<double> decimal(const QString& text, double min, double max)
{
    static const QRegularExpression form(QStringLiteral("^-?\\d{1,6}(?:\\.\\d{1,6})?$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const double value = text.toDouble();
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<Rom> rom(const QStringList& tokens, int from)
{
    if (tokens.size() - from != 8)
        return std::nullopt;
    Rom bytes{};
    for (int i = 0; i < 8; ++i) {
        const QString& t = tokens.at(from + i);
        bool ok = false;
        const uint value = t.toUInt(&ok, 16);
        if (!ok || t.size() > 2)
            return std::nullopt;
        bytes[size_t(i)] = quint8(value);
    }
    return bytes;
}

const QString channelsText = QStringLiteral("channel (1..10 or a range like 1-10)");
const QString positionsText = QStringLiteral("position (1..160 or a range like 1-40)");
// Limits of the course settings: wide enough for any demonstration, narrow
// enough to catch a misplaced digit.
constexpr double MaxSwingDegrees = 50;
constexpr double MaxNoiseDegrees = 5;
constexpr double MinHotSpotRate = 0.01;
constexpr double MaxHotSpotRate = 10000;
constexpr double MaxDelaySeconds = 999999;
constexpr double MinTimeScale = 0.001;
constexpr double MaxTimeScale = 86400; // a day a second

const QString romText = QStringLiteral("eight hex bytes, e.g. 28 FF 4B 3C 61 00 00 8A");

} // namespace

bool applyScenarioLine(const QString& rawLine, ModuleModel& model, QList<Fault>& faults, QString* error)
{
    QString line = rawLine;
    const int hash = int(line.indexOf(QLatin1Char('#')));
    if (hash >= 0)
        line.truncate(hash);
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList t = line.split(blanks, Qt::SkipEmptyParts);
    if (t.isEmpty())
        return true;
    const QString word = t.first().toLower();
    const auto argCount = [&](int n, const QString& usage) {
        return t.size() - 1 == n ? true : fail(error, QStringLiteral("usage: %1").arg(usage));
    };

    if (word == QLatin1String("demo")) {
        if (!argCount(0, QStringLiteral("demo")))
            return false;
        // A new installation, still moving as before and on the same clock.
        ModuleModel demo = ModuleModel::demo();
        demo.setCourse(model.course());
        demo.setClock(model.clock());
        model = demo;
        return true;
    }
    if (word == QLatin1String("station")) {
        if (!argCount(1, QStringLiteral("station N")))
            return false;
        const std::optional<int> n = number(t[1], 1, 249);
        if (!n)
            return fail(error, QStringLiteral("station must be 1..249, got \"%1\"").arg(t[1]));
        model.setStation(*n);
        return true;
    }
    if (word == QLatin1String("baud")) {
        if (!argCount(1, QStringLiteral("baud RATE")))
            return false;
        const std::optional<int> rate = number(t[1], 1, 1000000);
        const int code = rate ? protocol::baudCodeForRate(*rate) : 0;
        if (code == 0)
            return fail(error,
                        QStringLiteral("baud must be 4800, 9600, 14400 or 19200, got \"%1\"").arg(t[1]));
        model.setBaudCode(code);
        return true;
    }
    if (word == QLatin1String("channels") || word == QLatin1String("positions")) {
        const bool channels = word == QLatin1String("channels");
        if (!argCount(1, word + QStringLiteral(" N")))
            return false;
        const int max = channels ? protocol::MaxChannelsPerModule : protocol::MaxPositionsPerChannel;
        const std::optional<int> n = number(t[1], 1, max);
        if (!n)
            return fail(error, QStringLiteral("%1 must be 1..%2, got \"%3\"").arg(word).arg(max).arg(t[1]));
        channels ? model.setChannelCount(*n) : model.setPositionCount(*n);
        return true;
    }
    if (word == QLatin1String("temp") || word == QLatin1String("notwired") ||
        word == QLatin1String("notrecognised") || word == QLatin1String("novalue")) {
        const bool temp = word == QLatin1String("temp");
        if (!argCount(temp ? 3 : 2,
                      word + (temp ? QStringLiteral(" CH POS DEGREES") : QStringLiteral(" CH POS"))))
            return false;
        const std::optional<Range> ch = range(t[1], 1, protocol::MaxChannelsPerModule);
        if (!ch)
            return fail(error, QStringLiteral("bad %1: \"%2\"").arg(channelsText, t[1]));
        const std::optional<Range> pos = range(t[2], 1, protocol::MaxPositionsPerChannel);
        if (!pos)
            return fail(error, QStringLiteral("bad %1: \"%2\"").arg(positionsText, t[2]));
        SensorState state = word == QLatin1String("notwired")        ? SensorState::notWired()
                            : word == QLatin1String("notrecognised") ? SensorState::notRecognised()
                                                                     : SensorState::noValue();
        if (temp) {
            const std::optional<int> value = hundredths(t[3]);
            if (!value || !isEncodableTemperature(*value))
                return fail(error, QStringLiteral("bad temperature \"%1\": degrees with up to two decimals, "
                                                  "-255.35..400.00, not -177.10 or -193.10")
                                       .arg(t[3]));
            state = SensorState::temperature(*value);
        }
        for (int c = ch->first; c <= ch->last; ++c) {
            for (int p = pos->first; p <= pos->last; ++p)
                model.setSensor(c, p, state);
        }
        return true;
    }
    if (word == QLatin1String("bus")) {
        if (t.size() != 2 && t.size() != 10)
            return fail(error,
                        QStringLiteral("usage: bus CH ROM (adds a sensor) or bus CH (empties the bus)"));
        const std::optional<int> ch = number(t[1], 1, protocol::MaxChannelsPerModule);
        if (!ch)
            return fail(error, QStringLiteral("bad channel (1..10): \"%1\"").arg(t[1]));
        if (t.size() == 2) {
            model.setBus(*ch, {});
            return true;
        }
        const std::optional<Rom> bytes = rom(t, 2);
        if (!bytes)
            return fail(error, QStringLiteral("bad serial number: %1").arg(romText));
        model.addToBus(*ch, *bytes);
        return true;
    }
    if (word == QLatin1String("table")) {
        if (t.size() != 11)
            return fail(error, QStringLiteral("usage: table CH POS ROM"));
        const std::optional<int> ch = number(t[1], 1, protocol::MaxChannelsPerModule);
        const std::optional<int> pos = number(t[2], 1, protocol::MaxPositionsPerChannel);
        if (!ch || !pos)
            return fail(
                error, QStringLiteral("bad channel (1..10) or position (1..160): \"%1 %2\"").arg(t[1], t[2]));
        const std::optional<Rom> bytes = rom(t, 3);
        if (!bytes)
            return fail(error, QStringLiteral("bad serial number: %1").arg(romText));
        model.setTableEntry(*ch, *pos, *bytes);
        return true;
    }
    if (word == QLatin1String("fill")) {
        if (!argCount(1, QStringLiteral("fill CH")))
            return false;
        const std::optional<Range> ch = range(t[1], 1, protocol::MaxChannelsPerModule);
        if (!ch)
            return fail(error, QStringLiteral("bad %1: \"%2\"").arg(channelsText, t[1]));
        for (int c = ch->first; c <= ch->last; ++c)
            model.fillTableFromBus(c);
        return true;
    }
    if (word == QLatin1String("swing") || word == QLatin1String("noise")) {
        const bool swing = word == QLatin1String("swing");
        if (!argCount(1, word + QStringLiteral(" DEGREES")))
            return false;
        const double max = swing ? MaxSwingDegrees : MaxNoiseDegrees;
        const std::optional<double> degrees = decimal(t[1], 0, max);
        if (!degrees)
            return fail(error,
                        QStringLiteral("%1 must be 0..%2 degrees, got \"%3\"").arg(word).arg(max).arg(t[1]));
        TemperatureCourse course = model.course();
        (swing ? course.swingDegrees : course.noiseDegrees) = *degrees;
        model.setCourse(course);
        return true;
    }
    if (word == QLatin1String("phase")) {
        if (!argCount(2, QStringLiteral("phase CH HOURS")))
            return false;
        const std::optional<Range> ch = range(t[1], 1, protocol::MaxChannelsPerModule);
        if (!ch)
            return fail(error, QStringLiteral("bad %1: \"%2\"").arg(channelsText, t[1]));
        const std::optional<double> hours = decimal(t[2], 0, 24);
        if (!hours)
            return fail(error, QStringLiteral("phase must be 0..24 hours, got \"%1\"").arg(t[2]));
        TemperatureCourse course = model.course();
        for (int c = ch->first; c <= ch->last; ++c)
            course.phaseHours[size_t(c - 1)] = *hours;
        model.setCourse(course);
        return true;
    }
    if (word == QLatin1String("hotspot")) {
        TemperatureCourse course = model.course();
        if (t.size() == 2 && t[1].toLower() == QLatin1String("none")) {
            course.hotSpots.clear();
            model.setCourse(course);
            return true;
        }
        if (t.size() != 4 && t.size() != 5)
            return fail(error, QStringLiteral("usage: hotspot CH POS RATE [DELAY] or hotspot none"));
        const std::optional<int> ch = number(t[1], 1, protocol::MaxChannelsPerModule);
        const std::optional<int> pos = number(t[2], 1, protocol::MaxPositionsPerChannel);
        if (!ch || !pos)
            return fail(
                error, QStringLiteral("bad channel (1..10) or position (1..160): \"%1 %2\"").arg(t[1], t[2]));
        const std::optional<double> rate = decimal(t[3], MinHotSpotRate, MaxHotSpotRate);
        if (!rate)
            return fail(error, QStringLiteral("hot spot rate must be %1..%2 degrees per hour, got \"%3\"")
                                   .arg(MinHotSpotRate)
                                   .arg(MaxHotSpotRate)
                                   .arg(t[3]));
        const std::optional<double> delay = t.size() == 5 ? decimal(t[4], 0, MaxDelaySeconds) : 0.0;
        if (!delay)
            return fail(error, QStringLiteral("hot spot delay must be 0..%1 seconds, got \"%2\"")
                                   .arg(MaxDelaySeconds)
                                   .arg(t[4]));
        course.hotSpots.append(HotSpot{*ch, *pos, *rate, *delay});
        model.setCourse(course);
        return true;
    }
    if (word == QLatin1String("timescale")) {
        if (!argCount(1, QStringLiteral("timescale FACTOR")))
            return false;
        const std::optional<double> factor = decimal(t[1], MinTimeScale, MaxTimeScale);
        if (!factor)
            return fail(error, QStringLiteral("timescale must be %1..%2, got \"%3\"")
                                   .arg(MinTimeScale)
                                   .arg(MaxTimeScale)
                                   .arg(t[1]));
        TemperatureCourse course = model.course();
        course.timeScale = *factor;
        model.setCourse(course);
        return true;
    }
    if (word == QLatin1String("fault")) {
        QString why;
        const std::optional<Fault> fault = Fault::fromTokens(t.mid(1), &why);
        if (!fault)
            return fail(error, why);
        if (fault->kind == Fault::None)
            faults.clear();
        else
            faults.append(*fault);
        return true;
    }
    return fail(
        error,
        QStringLiteral("unknown directive \"%1\" (demo, station, baud, channels, positions, temp, "
                       "notwired, notrecognised, novalue, bus, table, fill, swing, phase, noise, hotspot, "
                       "timescale, fault)")
            .arg(t.first()));
}

bool applyScenarioText(const QString& text, const QString& sourceName, Scenario& scenario, QString* errors)
{
    QStringList messages;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString why;
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!applyScenarioLine(line, scenario.model, scenario.faults, &why))
            messages << QStringLiteral("%1:%2: %3").arg(sourceName).arg(i + 1).arg(why);
    }
    if (errors)
        *errors = messages.join(QLatin1Char('\n'));
    return messages.isEmpty();
}

bool applyScenarioFile(const QString& path, Scenario& scenario, QString* errors)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errors)
            *errors = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    return applyScenarioText(QString::fromUtf8(file.readAll()), path, scenario, errors);
}

} // namespace sim
