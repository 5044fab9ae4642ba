#include "fault.h"

#include "module_model.h"
#include "protocol/module_limits.h"

namespace sim {

namespace {

struct KindInfo
{
    Fault::Kind kind;
    const char* name;
    bool needsArgument;
    bool takesArgument;
};

constexpr KindInfo kinds[] = {
    {Fault::None, "none", false, false},
    {Fault::NoReply, "noreply", false, false},
    {Fault::Delay, "delay", true, true},
    {Fault::Truncate, "truncate", true, true},
    {Fault::CorruptCrc, "corruptcrc", false, false},
    {Fault::ExtraBytes, "extrabytes", true, true},
    {Fault::Garbage, "garbage", false, true},
    {Fault::Vanish, "vanish", false, true},
    {Fault::Collision, "collision", false, true},
    {Fault::WrongStation, "wrongstation", false, true},
    {Fault::Echo, "echo", false, false},
    {Fault::LeadZero, "leadzero", true, true},
    {Fault::Jitter, "jitter", true, true},
    {Fault::Turnaround, "turnaround", true, true},
    {Fault::Burst, "burst", true, true},
};

const KindInfo& info(Fault::Kind kind)
{
    for (const KindInfo& k : kinds) {
        if (k.kind == kind)
            return k;
    }
    return kinds[0];
}

bool setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

std::optional<int> wholeNumber(const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

} // namespace

QString Fault::kindName(Kind kind)
{
    return QString::fromLatin1(info(kind).name);
}

std::optional<Fault::Kind> Fault::kindFromName(const QString& name)
{
    QString key = name.toLower();
    key.remove(QLatin1Char('-'));
    key.remove(QLatin1Char('_'));
    for (const KindInfo& k : kinds) {
        if (key == QLatin1String(k.name))
            return k.kind;
    }
    return std::nullopt;
}

QStringList Fault::kindNames()
{
    QStringList names;
    for (const KindInfo& k : kinds)
        names << QString::fromLatin1(k.name);
    return names;
}

bool Fault::matches(const QByteArray& request) const
{
    if (kind == None || remaining == 0)
        return false;
    return channel == 0 || ModuleModel::concernsChannel(request, channel);
}

QString Fault::toString() const
{
    QString text = kindName(kind);
    if (info(kind).takesArgument && (argument != 0 || info(kind).needsArgument))
        text += QStringLiteral(":%1").arg(argument);
    if (remaining >= 0)
        text += QStringLiteral(",next=%1").arg(remaining);
    if (channel != 0)
        text += QStringLiteral(",channel=%1").arg(channel);
    return text;
}

std::optional<Fault> Fault::parse(const QString& text, QString* error)
{
    QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        setError(error, QStringLiteral("empty fault"));
        return std::nullopt;
    }
    const QString head = parts.takeFirst();
    QStringList tokens = head.split(QLatin1Char(':'));
    tokens += parts;
    return fromTokens(tokens, error);
}

std::optional<Fault> Fault::fromTokens(const QStringList& tokens, QString* error)
{
    if (tokens.isEmpty()) {
        setError(error, QStringLiteral("missing fault kind"));
        return std::nullopt;
    }
    const std::optional<Kind> kind = kindFromName(tokens.first().trimmed());
    if (!kind) {
        setError(error, QStringLiteral("unknown fault \"%1\" (one of: %2)")
                            .arg(tokens.first(), kindNames().join(QStringLiteral(", "))));
        return std::nullopt;
    }
    Fault fault;
    fault.kind = *kind;
    const KindInfo& k = info(*kind);
    bool haveArgument = false;
    for (int i = 1; i < tokens.size(); ++i) {
        const QString token = tokens.at(i).trimmed();
        const int eq = int(token.indexOf(QLatin1Char('=')));
        if (eq < 0) {
            const std::optional<int> value = wholeNumber(token, 0, 600000);
            if (!k.takesArgument || haveArgument || !value) {
                setError(error,
                         QStringLiteral("unexpected \"%1\" after fault %2").arg(token, kindName(*kind)));
                return std::nullopt;
            }
            fault.argument = *value;
            haveArgument = true;
            continue;
        }
        const QString key = token.left(eq).toLower();
        const QString value = token.mid(eq + 1);
        if (key == QLatin1String("next")) {
            const std::optional<int> count = wholeNumber(value, 1, 1000000);
            if (!count) {
                setError(error, QStringLiteral("next= needs a count of at least 1, got \"%1\"").arg(value));
                return std::nullopt;
            }
            fault.remaining = *count;
        } else if (key == QLatin1String("channel")) {
            const std::optional<int> channel = wholeNumber(value, 1, protocol::MaxChannelsPerModule);
            if (!channel) {
                setError(error, QStringLiteral("channel= needs 1..10, got \"%1\"").arg(value));
                return std::nullopt;
            }
            fault.channel = *channel;
        } else {
            setError(error, QStringLiteral("unknown fault option \"%1\" (next=K, channel=C)").arg(key));
            return std::nullopt;
        }
    }
    if (k.needsArgument && !haveArgument) {
        setError(error, QStringLiteral("fault %1 needs a number").arg(kindName(*kind)));
        return std::nullopt;
    }
    if (*kind == ExtraBytes && fault.argument < 1) {
        setError(error, QStringLiteral("fault extrabytes needs at least 1 byte"));
        return std::nullopt;
    }
    if (*kind == LeadZero && (fault.argument < 1 || fault.argument > 1000)) {
        setError(error, QStringLiteral("fault leadzero needs 1..1000 bytes"));
        return std::nullopt;
    }
    if (*kind == WrongStation && fault.argument > 255) {
        setError(error, QStringLiteral("fault wrongstation needs a station 1..255"));
        return std::nullopt;
    }
    return fault;
}

} // namespace sim
