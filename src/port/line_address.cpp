#include "line_address.h"

namespace port {

namespace {
const QString kSeparator = QStringLiteral("://");
} // namespace

QString LineAddress::text() const
{
    const QString scheme = framing == Mbap ? QStringLiteral("mbap") : QStringLiteral("tcp");
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    // Joined, not arg()-ed: a host may hold "%1" (an IPv6 scope, or a typing slip).
    return scheme + QStringLiteral("://") + shownHost + QLatin1Char(':') + QString::number(port);
}

QString LineAddress::framingName() const
{
    return framing == Mbap ? QStringLiteral("MBAP") : QStringLiteral("TCP");
}

bool looksLikeLineAddress(const QString& text)
{
    return text.contains(kSeparator);
}

std::optional<LineAddress> parseLineAddress(const QString& given, QString* error)
{
    const auto fail = [error, &given](const QString& why) -> std::optional<LineAddress> {
        if (error)
            *error = QStringLiteral("地址 %1 无法使用：%2").arg(given.trimmed(), why);
        return std::nullopt;
    };
    const QString text = given.trimmed();
    const qsizetype separator = text.indexOf(kSeparator);
    if (separator < 0)
        return fail(QStringLiteral("应为 tcp://主机:端口 或 mbap://主机:端口"));
    LineAddress address;
    const QString scheme = text.left(separator).toLower();
    if (scheme == QLatin1String("tcp"))
        address.framing = LineAddress::RawTcp;
    else if (scheme == QLatin1String("mbap"))
        address.framing = LineAddress::Mbap;
    else
        return fail(QStringLiteral("不支持的类型“%1”，应为 tcp 或 mbap").arg(text.left(separator)));

    const QString rest = text.mid(separator + kSeparator.size());
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail(QStringLiteral("缺少端口号"));
        address.host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return fail(QStringLiteral("缺少端口号"));
        address.host = rest.left(colon);
        portText = rest.mid(colon + 1);
    }
    if (address.host.isEmpty())
        return fail(QStringLiteral("缺少主机名"));
    for (const QChar c : std::as_const(address.host)) {
        if (c == u'/' || c == u'[' || c == u']' || c.isSpace() || c.isNull())
            return fail(QStringLiteral("主机名“%1”无效").arg(address.host));
    }
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number < 1 || number > 65535)
        return fail(QStringLiteral("端口号“%1”应为 1 到 65535").arg(portText));
    address.port = quint16(number);
    return address;
}

} // namespace port
