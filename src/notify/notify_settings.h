#pragma once
// Where alarms are sent and how: the SMTP server and the mail's receivers, the
// webhook URLs, and the timing of the delivery. The window keeps them in
// "notify.set" in the program's folder, the reader reads such a file with
// --notify. One setting per line, its name and its value:
//   smtp_host,mail.example.com
//   mail_to,a@example.com
//   mail_to,b@example.com
//   webhook,https://chat.example.com/robot/send?key=...
// read with the settings files' field reader (quotes and blanks as there);
// blank lines and lines starting with '#' are skipped. mail_to and webhook may
// repeat, every other name is given at most once. The SMTP password is not in
// it: smtp_password_file names the file that holds it (its first line),
// relative to the folder of notify.set.

#include "config/settings_file.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace notify {

inline constexpr QLatin1String kNotifySetName("notify.set");
// The window keeps the SMTP password here, beside notify.set.
inline constexpr QLatin1String kNotifyPasswordName("notify.pwd");

enum class SmtpSecurity {
    None,     // plain SMTP (a server on the same network)
    StartTls, // SMTP, then STARTTLS before anything else is said; refused without it
    Tls,      // TLS from the start (smtps)
};

inline constexpr int kMaxNotifyQueueBound = 1000000;

struct NotifySettings
{
    QString smtpHost; // empty: no e-mail
    int smtpPort = 0; // 0: the security's usual port (25, 587, 465)
    SmtpSecurity smtpSecurity = SmtpSecurity::StartTls;
    QString smtpUser; // empty: no login
    QString smtpPasswordFile;
    QString smtpPassword; // read from smtpPasswordFile, never written to notify.set
    QString smtpCaFile;   // empty: the system's certificate authorities
    QString mailFrom;
    QStringList mailTo;
    QStringList webhooks;
    // The events of this long after the first one go in one e-mail (0: one e-mail per event).
    int gatherMs = 60000;
    // After a failed attempt the next waits this long, doubling up to the last.
    int retryFirstMs = 5000;
    int retryLastMs = 300000;
    // An attempt that takes longer ends as failed.
    int attemptTimeoutMs = 30000;
    // Events kept per destination while it cannot be reached; beyond it the oldest are dropped.
    int queueBound = 10000;

    bool mailConfigured() const { return !smtpHost.isEmpty(); }
    int effectiveSmtpPort() const;
};

// The SMTP URL libcurl is given: smtp:// or smtps://, host and port.
QString smtpUrl(const NotifySettings& settings);

QString securityName(SmtpSecurity security); // "none", "starttls", "tls"
std::optional<SmtpSecurity> securityFromName(const QString& name);

// What cannot be used, and where.
struct NotifySetError
{
    int line = 0;       // 1-based; 0: the settings as a whole (a field they lack)
    QLatin1String field; // the setting's name
    QString rule;       // what it must be, for the operator
};

// What is wrong with settings made elsewhere (the page, the reader's options);
// the same rules as the file's.
std::optional<NotifySetError> checkNotifySettings(const NotifySettings& settings);

// The settings the content gives (without the password), or the first problem.
std::variant<NotifySettings, NotifySetError> parseNotifySet(const QByteArray& content);

// The file's content; an empty array when a text cannot be written as a field
// (a line end, or a double quote where quotes would be needed).
QByteArray formatNotifySet(const NotifySettings& settings);

struct NotifySetLoad : config::SettingsLoad
{
    NotifySettings settings; // to deliver with only when status is Ok
    QString errorText;       // when Unreadable: names the file, the line and the setting
};

// Loads the file at `path` and the password file it names. Missing means no delivery.
NotifySetLoad loadNotifySet(const QString& path);

// The first line of the file at `path`, without its line end; nullopt when it cannot be read.
std::optional<QString> readPasswordFile(const QString& path);

} // namespace notify
