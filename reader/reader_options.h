#pragma once
// The reader's command line: what it reads, how it prints, where else the
// readings go. Parsed without side effects so scripts get the same answer for
// the same arguments; the texts say what is wrong in Chinese and English.

#include "config/module_settings.h"
#include "notify/notify_settings.h"
#include "requests/line_tuning.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace reader {

enum class OutputFormat { Csv, JsonLines };

struct BrokerOptions
{
    QString host; // empty: no publishing
    int port = 1883;
    QString site = QStringLiteral("site");
    QString name; // empty: the host name
    QString user;
    QString passwordFile;
    QString caFile;
};

// Where alarms are sent: --notify FILE (notify.set), and the essentials as
// options, which override the file's fields (--mail-to and --webhook, which
// may be given several times, replace the file's lists).
struct NotifyOptions
{
    QString file;
    std::optional<QString> smtpHost, smtpUser, smtpPasswordFile, mailFrom;
    std::optional<int> smtpPort;
    std::optional<notify::SmtpSecurity> smtpSecurity;
    QStringList mailTo;
    QStringList webhooks;

    bool given() const
    {
        return !file.isEmpty() || smtpHost || smtpUser || smtpPasswordFile || mailFrom || smtpPort ||
               smtpSecurity || !mailTo.isEmpty() || !webhooks.isEmpty();
    }
};

struct ReaderOptions
{
    QString port; // "COMn" (through ports/COMn), a device path, or a network line address (tcp://, mbap://)
    int baud = 9600;
    QList<int> stations{1};
    int channels = 1;
    int sensors = 40;
    int intervalSeconds = 60;
    bool once = false;
    OutputFormat format = OutputFormat::Csv;
    QString historyPath; // empty: no history
    QString alarmsPath;  // --alarms FILE, limits and rules as alarms.set holds them; empty: no alarms
    BrokerOptions broker;
    NotifyOptions notify; // alarms' delivery
    requests::LineTuning tuning; // --timeout-ms, --retries, --gap-ms, --echo
    // --line-test [N]: N requests to the first station, the figures printed, then the end.
    std::optional<int> lineTestRequests;
    // --scan: the modules found on the line printed, then the end.
    bool scan = false;
    QList<int> scanStations; // --scan-stations, default 1..249
    QList<int> scanBauds;    // --scan-bauds, default every rate the module can run at
    // --list-ports: the system's serial ports printed, then the end; nothing else is needed.
    bool listPorts = false;
};

struct ParsedOptions
{
    enum Status { Run, Help, Version, Error };
    Status status = Error;
    ReaderOptions options;
    QString error; // when Error: names the option and what it takes
};

// `arguments` without the program's name. Channels and sensors default to
// `modSet`'s (the installation's ModSet.set), which must then be in range.
ParsedOptions parseReaderOptions(const QStringList& arguments, const config::ModuleSettings& modSet);

// The alarms' delivery settings `given` makes: the file's, the options over
// them, the SMTP password from its file. nullopt with `error` (naming the
// option or the file) when they cannot be used.
std::optional<notify::NotifySettings> notifySettings(const NotifyOptions& given, QString* error);

// "1,2,5-8": stations 1..249, each once, in the order given. Empty with `error`
// set, naming `option` (without its dashes), when it is not.
QList<int> parseStationList(const QString& text, QString* error,
                            const QString& option = QStringLiteral("stations"));

// The device `port` stands for: "COMn" (any case, n 1..255) through the
// program folder's ports/COMn as the window resolves it, anything else as a path.
QString devicePathFor(const QString& port, const QString& programFolder);

// The --help text, Chinese then English.
QString readerHelpText();

} // namespace reader
