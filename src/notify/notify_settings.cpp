#include "notify_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QUrl>

namespace notify {

namespace {

constexpr QLatin1String kSmtpHost("smtp_host");
constexpr QLatin1String kSmtpPort("smtp_port");
constexpr QLatin1String kSmtpTls("smtp_tls");
constexpr QLatin1String kSmtpUser("smtp_user");
constexpr QLatin1String kSmtpPasswordFile("smtp_password_file");
constexpr QLatin1String kSmtpCaFile("smtp_ca_file");
constexpr QLatin1String kMailFrom("mail_from");
constexpr QLatin1String kMailTo("mail_to");
constexpr QLatin1String kWebhook("webhook");
constexpr QLatin1String kGatherSeconds("gather_seconds");
constexpr QLatin1String kRetryFirstSeconds("retry_first_seconds");
constexpr QLatin1String kRetryLastSeconds("retry_last_seconds");
constexpr QLatin1String kQueueBound("queue_bound");

constexpr int kMaxSeconds = 86400;

const QLatin1String kAllFields[] = {kSmtpHost,  kSmtpPort,      kSmtpTls,          kSmtpUser,
                                    kSmtpPasswordFile, kSmtpCaFile, kMailFrom,     kMailTo,
                                    kWebhook,   kGatherSeconds, kRetryFirstSeconds, kRetryLastSeconds,
                                    kQueueBound};

// An address as SMTP's MAIL FROM and RCPT TO take it: local@domain, nothing that breaks a command.
bool isMailAddress(const QString& text)
{
    const qsizetype at = text.lastIndexOf(u'@');
    if (at <= 0 || at == text.size() - 1)
        return false;
    for (const QChar c : text)
        if (c.isSpace() || c == u'<' || c == u'>' || c == u',' || c == u'"' || c.unicode() < 0x20)
            return false;
    return true;
}

bool isWebhookUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

NotifySetError problem(QLatin1String field, const QString& rule, int line = 0)
{
    return {line, field, rule};
}

} // namespace

int NotifySettings::effectiveSmtpPort() const
{
    if (smtpPort > 0)
        return smtpPort;
    switch (smtpSecurity) {
    case SmtpSecurity::None:
        return 25;
    case SmtpSecurity::StartTls:
        return 587;
    case SmtpSecurity::Tls:
        break;
    }
    return 465;
}

QString smtpUrl(const NotifySettings& s)
{
    const QString scheme = s.smtpSecurity == SmtpSecurity::Tls ? QStringLiteral("smtps") : QStringLiteral("smtp");
    QString host = s.smtpHost;
    if (host.contains(u':')) // an IPv6 address
        host = u'[' + host + u']';
    return QStringLiteral("%1://%2:%3").arg(scheme, host).arg(s.effectiveSmtpPort());
}

QString securityName(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::None:
        return QStringLiteral("none");
    case SmtpSecurity::StartTls:
        return QStringLiteral("starttls");
    case SmtpSecurity::Tls:
        break;
    }
    return QStringLiteral("tls");
}

std::optional<SmtpSecurity> securityFromName(const QString& name)
{
    for (const SmtpSecurity s : {SmtpSecurity::None, SmtpSecurity::StartTls, SmtpSecurity::Tls})
        if (name == securityName(s))
            return s;
    return std::nullopt;
}

std::optional<NotifySetError> checkNotifySettings(const NotifySettings& s)
{
    if (s.smtpPort < 0 || s.smtpPort > 65535)
        return problem(kSmtpPort, QStringLiteral("应为 1..65535"));
    if (!s.mailConfigured()) {
        if (!s.mailTo.isEmpty() || !s.mailFrom.isEmpty() || !s.smtpUser.isEmpty())
            return problem(kSmtpHost, QStringLiteral("有收件人或发件人时不能为空"));
    } else {
        if (s.smtpHost.contains(u'/') || s.smtpHost.contains(u' '))
            return problem(kSmtpHost, QStringLiteral("应为主机名或地址"));
        if (!isMailAddress(s.mailFrom))
            return problem(kMailFrom, QStringLiteral("应为一个邮件地址，如 alarm@example.com"));
        if (s.mailTo.isEmpty())
            return problem(kMailTo, QStringLiteral("至少需要一个收件人"));
        for (const QString& to : s.mailTo)
            if (!isMailAddress(to))
                return problem(kMailTo, QStringLiteral("\"%1\" 不是邮件地址").arg(to));
    }
    if (s.smtpUser.isEmpty() && !s.smtpPasswordFile.isEmpty())
        return problem(kSmtpUser, QStringLiteral("有密码文件时不能为空"));
    for (const QString& url : s.webhooks)
        if (!isWebhookUrl(url))
            return problem(kWebhook, QStringLiteral("\"%1\" 不是 http:// 或 https:// 地址").arg(url));
    if (s.gatherMs < 0 || s.gatherMs > kMaxSeconds * 1000)
        return problem(kGatherSeconds, QStringLiteral("应为 0..%1").arg(kMaxSeconds));
    if (s.retryFirstMs < 1 || s.retryLastMs < s.retryFirstMs || s.retryLastMs > kMaxSeconds * 1000)
        return problem(s.retryFirstMs < 1 ? kRetryFirstSeconds : kRetryLastSeconds,
                       QStringLiteral("应为 1..%1，且首次不大于最长").arg(kMaxSeconds));
    if (s.queueBound < 1 || s.queueBound > kMaxNotifyQueueBound)
        return problem(kQueueBound, QStringLiteral("应为 1..%1").arg(kMaxNotifyQueueBound));
    return std::nullopt;
}

std::variant<NotifySettings, NotifySetError> parseNotifySet(const QByteArray& content)
{
    NotifySettings s;
    QList<QLatin1String> given;
    const QList<QByteArray> lines = QByteArray(content).replace("\r\n", "\n").replace('\r', '\n').split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        config::FieldReader reader(line);
        const QByteArray name = reader.next().value_or(QByteArray());
        const std::optional<QByteArray> valueField = reader.next();
        QLatin1String field;
        for (const QLatin1String known : kAllFields)
            if (name == QByteArray(known.data(), known.size()))
                field = known;
        if (field.isEmpty())
            return problem(QLatin1String("?"), QStringLiteral("未知的设置 \"%1\"").arg(QString::fromUtf8(name)),
                           lineNumber);
        if (!valueField || reader.next())
            return problem(field, QStringLiteral("每行应为 名称,值；含逗号的值加双引号"), lineNumber);
        const bool repeats = field == kMailTo || field == kWebhook;
        if (!repeats && given.contains(field))
            return problem(field, QStringLiteral("只能给一次"), lineNumber);
        given.append(field);
        const QString text = QString::fromUtf8(*valueField);
        const auto seconds = [&](int lo, int* targetMs) {
            const std::optional<int> value = config::digitsFromField(*valueField, lo, kMaxSeconds);
            if (value)
                *targetMs = *value * 1000;
            return value.has_value();
        };
        bool ok = true;
        if (field == kSmtpHost) {
            s.smtpHost = text;
        } else if (field == kSmtpPort) {
            const std::optional<int> port = config::digitsFromField(*valueField, 1, 65535);
            ok = port.has_value();
            s.smtpPort = port.value_or(0);
        } else if (field == kSmtpTls) {
            const std::optional<SmtpSecurity> security = securityFromName(text);
            if (!security)
                return problem(field, QStringLiteral("应为 none、starttls 或 tls"), lineNumber);
            s.smtpSecurity = *security;
        } else if (field == kSmtpUser) {
            s.smtpUser = text;
        } else if (field == kSmtpPasswordFile) {
            s.smtpPasswordFile = text;
        } else if (field == kSmtpCaFile) {
            s.smtpCaFile = text;
        } else if (field == kMailFrom) {
            s.mailFrom = text;
        } else if (field == kMailTo) {
            if (!isMailAddress(text))
                return problem(field, QStringLiteral("\"%1\" 不是邮件地址").arg(text), lineNumber);
            s.mailTo.append(text);
        } else if (field == kWebhook) {
            if (!isWebhookUrl(text))
                return problem(field, QStringLiteral("\"%1\" 不是 http:// 或 https:// 地址").arg(text), lineNumber);
            s.webhooks.append(text);
        } else if (field == kGatherSeconds) {
            ok = seconds(0, &s.gatherMs);
        } else if (field == kRetryFirstSeconds) {
            ok = seconds(1, &s.retryFirstMs);
        } else if (field == kRetryLastSeconds) {
            ok = seconds(1, &s.retryLastMs);
        } else if (field == kQueueBound) {
            const std::optional<int> bound = config::digitsFromField(*valueField, 1, kMaxNotifyQueueBound);
            ok = bound.has_value();
            s.queueBound = bound.value_or(0);
        }
        if (!ok) {
            const bool isPort = field == kSmtpPort;
            return problem(field,
                           isPort                 ? QStringLiteral("应为 1..65535")
                           : field == kQueueBound ? QStringLiteral("应为 1..%1").arg(kMaxNotifyQueueBound)
                                                  : QStringLiteral("应为秒数 0..%1").arg(kMaxSeconds),
                           lineNumber);
        }
    }
    if (std::optional<NotifySetError> wrong = checkNotifySettings(s)) {
        // The line of the setting that is wrong, where it was given.
        const QByteArray name(wrong->field.data(), wrong->field.size());
        for (int i = 0; i < lines.size() && wrong->line == 0; ++i)
            if (lines[i].trimmed().startsWith(name + ','))
                wrong->line = i + 1;
        return *wrong;
    }
    return s;
}

QByteArray formatNotifySet(const NotifySettings& s)
{
    QByteArray out;
    bool writable = true;
    const auto put = [&](QLatin1String name, const QString& value) {
        const std::optional<QByteArray> field = config::textAsField(value);
        if (!field)
            writable = false;
        else
            out += QByteArray(name.data(), name.size()) + ',' + *field + "\r\n";
    };
    const auto putIf = [&](QLatin1String name, const QString& value) {
        if (!value.isEmpty())
            put(name, value);
    };
    putIf(kSmtpHost, s.smtpHost);
    if (s.smtpPort > 0)
        put(kSmtpPort, QString::number(s.smtpPort));
    put(kSmtpTls, securityName(s.smtpSecurity));
    putIf(kSmtpUser, s.smtpUser);
    putIf(kSmtpPasswordFile, s.smtpPasswordFile);
    putIf(kSmtpCaFile, s.smtpCaFile);
    putIf(kMailFrom, s.mailFrom);
    for (const QString& to : s.mailTo)
        put(kMailTo, to);
    for (const QString& url : s.webhooks)
        put(kWebhook, url);
    put(kGatherSeconds, QString::number(s.gatherMs / 1000));
    put(kRetryFirstSeconds, QString::number(s.retryFirstMs / 1000));
    put(kRetryLastSeconds, QString::number(s.retryLastMs / 1000));
    put(kQueueBound, QString::number(s.queueBound));
    return writable ? out : QByteArray();
}

std::optional<QString> readPasswordFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The first line; a line end after it is no part of the password.
    return QString::fromUtf8(file.readLine(4096)).remove(u'\n').remove(u'\r');
}

NotifySetLoad loadNotifySet(const QString& path)
{
    NotifySetLoad result;
    result.path = path;
    const config::FileText file = config::readSettingsFile(path, 256 * 1024);
    result.status = file.status;
    if (file.status == NotifySetLoad::Missing)
        return result;
    if (file.status == NotifySetLoad::Unreadable) {
        result.errorText = QStringLiteral("无法读取通知设置文件 %1，报警不会发出").arg(path);
        return result;
    }
    auto parsed = parseNotifySet(file.bytes);
    if (const NotifySetError* error = std::get_if<NotifySetError>(&parsed)) {
        result.status = NotifySetLoad::Unreadable;
        result.errorText =
            error->line > 0
                ? QStringLiteral("通知设置文件 %1 第 %2 行的 %3 不可用（%4），报警不会发出")
                      .arg(path)
                      .arg(error->line)
                      .arg(error->field, error->rule)
                : QStringLiteral("通知设置文件 %1 缺少 %2（%3），报警不会发出").arg(path, error->field, error->rule);
        return result;
    }
    result.settings = std::get<NotifySettings>(std::move(parsed));
    const QDir folder = QFileInfo(path).absoluteDir();
    NotifySettings& s = result.settings;
    if (!s.smtpCaFile.isEmpty())
        s.smtpCaFile = folder.absoluteFilePath(s.smtpCaFile);
    if (!s.smtpPasswordFile.isEmpty()) {
        s.smtpPasswordFile = folder.absoluteFilePath(s.smtpPasswordFile);
        const std::optional<QString> password = readPasswordFile(s.smtpPasswordFile);
        if (!password) {
            result.status = NotifySetLoad::Unreadable;
            result.errorText = QStringLiteral("无法读取通知设置文件 %1 所指的密码文件 %2，报警不会发出")
                                   .arg(path, s.smtpPasswordFile);
            return result;
        }
        s.smtpPassword = *password;
    }
    return result;
}

} // namespace notify
