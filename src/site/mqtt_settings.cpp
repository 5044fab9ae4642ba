#include "mqtt_settings.h"

#include "mqtt_topics.h"

#include <QDir>

namespace site {

namespace {

// The fields in their order in the file.
enum Field { Host, Port, Site, Name, User, Password, CaFile, QueueBound, FieldCount };
constexpr QLatin1String kFieldNames[FieldCount] = {
    QLatin1String("host"), QLatin1String("port"),     QLatin1String("site"),    QLatin1String("name"),
    QLatin1String("user"), QLatin1String("password"), QLatin1String("ca_file"), QLatin1String("queue_bound")};

// What each field must be, for the operator.
QString fieldRule(Field field)
{
    switch (field) {
    case Host:
        return QStringLiteral("不能为空");
    case Port:
        return QStringLiteral("应为 1..65535");
    case Site:
    case Name:
        return QStringLiteral("不能为空，不能含 /、+、#");
    case User:
        return QStringLiteral("有密码时不能为空");
    case QueueBound:
        return QStringLiteral("应为 1..%1").arg(kMaxQueueBound);
    default:
        return QStringLiteral("双引号应在同一行内成对");
    }
}

// The options, or the first field that cannot be used.
std::variant<MqttOptions, Field> parseFields(const QByteArray& content)
{
    config::FieldReader reader(content);
    QByteArray fields[FieldCount];
    for (int i = 0; i < FieldCount; ++i) {
        const std::optional<QByteArray> field = reader.next();
        if (!field) {
            if (reader.stoppedAtBrokenField())
                return Field(i);
            break; // the rest take their defaults
        }
        fields[i] = *field;
    }

    MqttOptions o;
    o.host = QString::fromUtf8(fields[Host]);
    if (o.host.isEmpty())
        return Host;
    if (!fields[Port].isEmpty()) {
        const std::optional<int> port = config::digitsFromField(fields[Port], 1, 65535);
        if (!port)
            return Port;
        o.port = *port;
    }
    for (const Field level : {Site, Name}) {
        if (fields[level].isEmpty())
            continue;
        const QString text = QString::fromUtf8(fields[level]);
        if (!checkTopicLevel(text).isEmpty())
            return level;
        (level == Site ? o.site : o.name) = text;
    }
    o.user = QString::fromUtf8(fields[User]);
    o.password = QString::fromUtf8(fields[Password]);
    if (o.user.isEmpty() && !o.password.isEmpty())
        return User;
    o.caFile = QString::fromUtf8(fields[CaFile]);
    if (!fields[QueueBound].isEmpty()) {
        const std::optional<int> bound = config::digitsFromField(fields[QueueBound], 1, kMaxQueueBound);
        if (!bound)
            return QueueBound;
        o.queueBound = *bound;
    }
    return o;
}

} // namespace

std::optional<QByteArray> formatMqttSet(const MqttOptions& o)
{
    QByteArray line;
    for (const QString& text : {o.host, QString::number(o.port), o.site, o.name, o.user, o.password, o.caFile,
                                QString::number(o.queueBound)}) {
        const std::optional<QByteArray> field = config::textAsField(text);
        if (!field)
            return std::nullopt;
        if (!line.isEmpty())
            line += ',';
        line += *field;
    }
    return line + "\r\n";
}

std::variant<MqttOptions, QLatin1String> parseMqttSet(const QByteArray& content)
{
    auto parsed = parseFields(content);
    if (const Field* field = std::get_if<Field>(&parsed))
        return kFieldNames[*field];
    return std::get<MqttOptions>(std::move(parsed));
}

MqttSetLoad loadMqttSet(const QString& folder)
{
    MqttSetLoad result;
    result.path = config::settingsFilePath(folder, kMqttSetName);
    const config::FileText file = config::readSettingsFile(result.path, config::kOneLineFileBytes);
    result.status = file.status;
    if (file.status == MqttSetLoad::Missing)
        return result;
    if (file.status == MqttSetLoad::Unreadable) {
        result.errorText =
            QStringLiteral("无法读取消息代理设置文件 %1，读数未发布到消息代理").arg(result.path);
        return result;
    }
    auto parsed = parseFields(file.bytes);
    if (const Field* field = std::get_if<Field>(&parsed)) {
        result.status = MqttSetLoad::Unreadable;
        result.errorText = QStringLiteral("消息代理设置文件 %1 中的 %2 不可用（%3），读数未发布到消息代理")
                               .arg(result.path, kFieldNames[*field], fieldRule(*field));
        return result;
    }
    result.options = std::get<MqttOptions>(std::move(parsed));
    if (!result.options.caFile.isEmpty())
        result.options.caFile = QDir(folder).absoluteFilePath(result.options.caFile);
    return result;
}

bool saveMqttSet(const QString& folder, const MqttOptions& options)
{
    const std::optional<QByteArray> content = formatMqttSet(options);
    return content && config::saveWholeFile(config::settingsFilePath(folder, kMqttSetName), *content);
}

} // namespace site
