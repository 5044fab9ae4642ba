#include "reader_options.h"

#include "acquisition/bus_scan.h"
#include "acquisition/line_test.h"
#include "config/line_settings_file.h"
#include "port/line_address.h"
#include "port/port_names.h"
#include "protocol/baud_codes.h"
#include "protocol/module_limits.h"

#include <QHash>
#include <QRegularExpression>

namespace reader {

namespace {

constexpr int kStationMax = 249; // 250 is every module's wildcard address
constexpr int kIntervalMax = 86400;

// `expected` in Chinese, and in English where it differs.
QString badValue(const QString& option, const QString& value, const QString& expected,
                 const QString& expectedInEnglish = QString())
{
    return QStringLiteral("选项 --%1 的值 \"%2\" 无效，应为 %3 (invalid value for --%1, expected %4)")
        .arg(option, value, expected, expectedInEnglish.isEmpty() ? expected : expectedInEnglish);
}

// A whole number lo..hi, or nothing.
std::optional<int> wholeNumber(const QString& text, int lo, int hi)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < lo || value > hi)
        return std::nullopt;
    return value;
}

struct KnownOption
{
    const char* name;
    bool takesValue;
    bool valueOptional = false; // a value follows unless the next argument is an option
    bool repeatable = false;    // may be given several times, each value kept
};

constexpr KnownOption kOptions[] = {
    {"port", true},        {"baud", true},      {"stations", true},
    {"channels", true},    {"sensors", true},   {"interval", true},
    {"once", false},       {"format", true},    {"history", true},
    {"mqtt-host", true},   {"mqtt-port", true}, {"site", true},
    {"name", true},        {"mqtt-user", true}, {"mqtt-password-file", true},
    {"mqtt-cafile", true}, {"help", false},      {"timeout-ms", true},
    {"retries", true},     {"gap-ms", true},    {"echo", false},
    {"line-test", false, true},
    {"scan", false},       {"scan-stations", true}, {"scan-bauds", true},
    {"list-ports", false}, {"version", false},
    {"notify", true},      {"smtp-host", true}, {"smtp-port", true},
    {"smtp-tls", true},    {"smtp-user", true}, {"smtp-password-file", true},
    {"mail-from", true},   {"mail-to", true, false, true}, {"webhook", true, false, true},
    {"alarms", true},
};

} // namespace

QList<int> parseStationList(const QString& text, QString* error, const QString& option)
{
    QList<int> stations;
    const auto fail = [&] {
        *error = badValue(option, text, QStringLiteral("1..%1 的站号，如 1,2,5-8").arg(kStationMax),
                          QStringLiteral("stations 1..%1, e.g. 1,2,5-8").arg(kStationMax));
        return QList<int>();
    };
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return fail();
        const std::optional<int> first = wholeNumber(ends.first(), 1, kStationMax);
        const std::optional<int> last = wholeNumber(ends.last(), 1, kStationMax);
        if (!first || !last || *last < *first)
            return fail();
        for (int station = *first; station <= *last; ++station) {
            if (stations.contains(station)) {
                *error = QStringLiteral("选项 --%1 中站号 %2 出现了两次 (station %2 is given twice)")
                             .arg(option)
                             .arg(station);
                return {};
            }
            stations.append(station);
        }
    }
    return stations;
}

ParsedOptions parseReaderOptions(const QStringList& arguments, const config::ModuleSettings& modSet)
{
    ParsedOptions parsed;
    const auto fail = [&parsed](const QString& text) {
        parsed.status = ParsedOptions::Error;
        parsed.error = text;
        return parsed;
    };

    // --name value and --name=value; every option at most once.
    QHash<QString, QString> given;
    QHash<QString, QStringList> repeated; // every value of a repeatable option
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--")))
            return fail(
                QStringLiteral(
                    "无法识别的参数 \"%1\"，--help 列出选项 (unexpected argument; --help lists the options)")
                    .arg(argument));
        QString name = argument.mid(2);
        std::optional<QString> value;
        if (const int eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        const KnownOption* known = nullptr;
        for (const KnownOption& s : kOptions)
            if (name == QLatin1String(s.name))
                known = &s;
        if (!known)
            return fail(
                QStringLiteral("未知选项 --%1，--help 列出选项 (unknown option; --help lists the options)")
                    .arg(name));
        if (given.contains(name) && !known->repeatable)
            return fail(QStringLiteral("选项 --%1 给了两次 (given twice)").arg(name));
        if (known->valueOptional && !value && i + 1 < arguments.size() &&
            !arguments[i + 1].startsWith(QLatin1String("--")))
            value = arguments[++i];
        if (known->takesValue && !value) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("选项 --%1 缺少值 (needs a value)").arg(name));
            value = arguments[++i];
        } else if (!known->takesValue && !known->valueOptional && value) {
            return fail(QStringLiteral("选项 --%1 不带值 (takes no value)").arg(name));
        }
        given.insert(name, value.value_or(QString()));
        if (known->repeatable)
            repeated[name].append(value.value_or(QString()));
    }
    if (given.contains(QStringLiteral("help"))) {
        parsed.status = ParsedOptions::Help;
        return parsed;
    }
    if (given.contains(QStringLiteral("version"))) {
        parsed.status = ParsedOptions::Version;
        return parsed;
    }

    ReaderOptions& o = parsed.options;
    if (given.contains(QStringLiteral("list-ports"))) {
        o.listPorts = true;
        parsed.status = ParsedOptions::Run;
        return parsed;
    }
    o.port = given.value(QStringLiteral("port")).trimmed();
    if (o.port.isEmpty())
        return fail(QStringLiteral("缺少选项 --port COMn|设备|tcp://主机:端口|mbap://主机:端口 (--port "
                                   "COMn|DEVICE|tcp://HOST:PORT|mbap://HOST:PORT is required)"));
    if (port::looksLikeLineAddress(o.port)) {
        QString error;
        const std::optional<port::LineAddress> address = port::parseLineAddress(o.port, &error);
        if (!address)
            return fail(QStringLiteral("选项 --port：%1 (not a network line address)").arg(error));
        o.port = address->text();
    }

    // A number option: its value in lo..hi, or the message naming it.
    const auto number = [&given](const char* name, int lo, int hi, int* target, QString* error) {
        const QString key = QLatin1String(name);
        if (!given.contains(key))
            return true;
        const std::optional<int> value = wholeNumber(given.value(key), lo, hi);
        if (!value)
            *error = badValue(key, given.value(key), QStringLiteral("%1..%2").arg(lo).arg(hi));
        else
            *target = *value;
        return bool(value);
    };

    QString error;
    if (given.contains(QStringLiteral("baud"))) {
        const QString text = given.value(QStringLiteral("baud"));
        const std::optional<int> baud = wholeNumber(text, 1, 1000000);
        if (!baud || protocol::baudCodeForRate(*baud) == 0)
            return fail(badValue(QStringLiteral("baud"), text, QStringLiteral("4800|9600|14400|19200")));
        o.baud = *baud;
    }
    if (given.contains(QStringLiteral("stations"))) {
        o.stations = parseStationList(given.value(QStringLiteral("stations")), &error);
        if (o.stations.isEmpty())
            return fail(error);
    }

    // Without the options, the installation's own counts; they must fit the module.
    o.channels = modSet.channelCount;
    o.sensors = modSet.sensorsPerChannel;
    if (!number("channels", 1, protocol::MaxChannelsPerModule, &o.channels, &error) ||
        !number("sensors", 1, protocol::MaxPositionsPerChannel, &o.sensors, &error) ||
        !number("interval", 0, kIntervalMax, &o.intervalSeconds, &error) ||
        !number("mqtt-port", 1, 65535, &o.broker.port, &error))
        return fail(error);
    // The line's tuning, in the ranges of line.set.
    const auto tuningNumber = [&](const char* name, config::LineNumber field, int* target) {
        const config::LineNumberField& f = config::lineNumberField(field);
        return number(name, f.min, f.max, target, &error);
    };
    if (!tuningNumber("timeout-ms", config::LineNumber::ReplyTimeout, &o.tuning.replyTimeoutMs) ||
        !tuningNumber("retries", config::LineNumber::Retries, &o.tuning.retries) ||
        !tuningNumber("gap-ms", config::LineNumber::Gap, &o.tuning.gapMs))
        return fail(error);
    o.tuning.echo = given.contains(QStringLiteral("echo"));
    if (given.contains(QStringLiteral("line-test"))) {
        int requests = acquisition::kLineTestDefaultRequests;
        if (!given.value(QStringLiteral("line-test")).isEmpty() &&
            !number("line-test", 1, acquisition::kLineTestMaxRequests, &requests, &error))
            return fail(error);
        o.lineTestRequests = requests;
    }
    o.scan = given.contains(QStringLiteral("scan"));
    for (const char* name : {"scan-stations", "scan-bauds"})
        if (!o.scan && given.contains(QLatin1String(name)))
            return fail(QStringLiteral("选项 --%1 需要 --scan (--%1 needs --scan)").arg(QLatin1String(name)));
    if (given.contains(QStringLiteral("scan-stations"))) {
        o.scanStations = parseStationList(given.value(QStringLiteral("scan-stations")), &error,
                                          QStringLiteral("scan-stations"));
        if (o.scanStations.isEmpty())
            return fail(error);
    } else {
        for (int station = 1; station <= kStationMax; ++station)
            o.scanStations.append(station);
    }
    if (given.contains(QStringLiteral("scan-bauds"))) {
        o.scanBauds = acquisition::parseScanBaudRates(given.value(QStringLiteral("scan-bauds")), &error);
        if (o.scanBauds.isEmpty())
            return fail(QStringLiteral("选项 --scan-bauds：%1").arg(error));
    } else {
        o.scanBauds = acquisition::moduleBaudRates();
    }
    if (o.channels < 1 || o.channels > protocol::MaxChannelsPerModule)
        return fail(QStringLiteral("ModSet.set 中的通道数 %1 不在 1..%2 之内，请用 --channels 指定 "
                                   "(the channel count in ModSet.set is out of range: give --channels)")
                        .arg(o.channels)
                        .arg(protocol::MaxChannelsPerModule));
    if (o.sensors < 1 || o.sensors > protocol::MaxPositionsPerChannel)
        return fail(QStringLiteral("ModSet.set 中的传感器数 %1 不在 1..%2 之内，请用 --sensors 指定 "
                                   "(the sensor count in ModSet.set is out of range: give --sensors)")
                        .arg(o.sensors)
                        .arg(protocol::MaxPositionsPerChannel));

    o.once = given.contains(QStringLiteral("once"));
    const QString format = given.value(QStringLiteral("format"), QStringLiteral("csv"));
    if (format == QLatin1String("csv"))
        o.format = OutputFormat::Csv;
    else if (format == QLatin1String("jsonl"))
        o.format = OutputFormat::JsonLines;
    else
        return fail(badValue(QStringLiteral("format"), format, QStringLiteral("csv|jsonl")));
    o.historyPath = given.value(QStringLiteral("history"));
    o.alarmsPath = given.value(QStringLiteral("alarms"));

    BrokerOptions& b = o.broker;
    b.host = given.value(QStringLiteral("mqtt-host")).trimmed();
    b.site = given.value(QStringLiteral("site"), b.site);
    b.name = given.value(QStringLiteral("name"));
    b.user = given.value(QStringLiteral("mqtt-user"));
    b.passwordFile = given.value(QStringLiteral("mqtt-password-file"));
    b.caFile = given.value(QStringLiteral("mqtt-cafile"));
    if (b.host.isEmpty()) {
        for (const char* name :
             {"mqtt-port", "site", "name", "mqtt-user", "mqtt-password-file", "mqtt-cafile"})
            if (given.contains(QLatin1String(name)))
                return fail(QStringLiteral("选项 --%1 需要 --mqtt-host (--%1 needs --mqtt-host)")
                                .arg(QLatin1String(name)));
    }
    NotifyOptions& n = o.notify;
    n.file = given.value(QStringLiteral("notify"));
    const auto text = [&given](const char* name) -> std::optional<QString> {
        const QString key = QLatin1String(name);
        return given.contains(key) ? std::optional<QString>(given.value(key)) : std::nullopt;
    };
    n.smtpHost = text("smtp-host");
    n.smtpUser = text("smtp-user");
    n.smtpPasswordFile = text("smtp-password-file");
    n.mailFrom = text("mail-from");
    if (given.contains(QStringLiteral("smtp-port"))) {
        int smtpPort = 0;
        if (!number("smtp-port", 1, 65535, &smtpPort, &error))
            return fail(error);
        n.smtpPort = smtpPort;
    }
    if (const std::optional<QString> security = text("smtp-tls")) {
        n.smtpSecurity = notify::securityFromName(*security);
        if (!n.smtpSecurity)
            return fail(badValue(QStringLiteral("smtp-tls"), *security, QStringLiteral("none|starttls|tls")));
    }
    n.mailTo = repeated.value(QStringLiteral("mail-to"));
    n.webhooks = repeated.value(QStringLiteral("webhook"));
    parsed.status = ParsedOptions::Run;
    return parsed;
}

std::optional<notify::NotifySettings> notifySettings(const NotifyOptions& given, QString* error)
{
    notify::NotifySettings s;
    if (!given.file.isEmpty()) {
        const notify::NotifySetLoad load = notify::loadNotifySet(given.file);
        if (load.status == notify::NotifySetLoad::Missing) {
            *error = QStringLiteral("通知设置文件 %1 不存在 (the file given with --notify does not exist)")
                         .arg(given.file);
            return std::nullopt;
        }
        if (load.status != notify::NotifySetLoad::Ok) {
            *error = QStringLiteral("%1 (the file given with --notify cannot be used)").arg(load.errorText);
            return std::nullopt;
        }
        s = load.settings;
    }
    s.smtpHost = given.smtpHost.value_or(s.smtpHost);
    s.smtpUser = given.smtpUser.value_or(s.smtpUser);
    s.mailFrom = given.mailFrom.value_or(s.mailFrom);
    s.smtpPort = given.smtpPort.value_or(s.smtpPort);
    s.smtpSecurity = given.smtpSecurity.value_or(s.smtpSecurity);
    if (!given.mailTo.isEmpty())
        s.mailTo = given.mailTo;
    if (!given.webhooks.isEmpty())
        s.webhooks = given.webhooks;
    if (given.smtpPasswordFile) {
        s.smtpPasswordFile = *given.smtpPasswordFile;
        const std::optional<QString> password = notify::readPasswordFile(s.smtpPasswordFile);
        if (!password) {
            *error = QStringLiteral("无法读取密码文件 %1 (cannot read the password file given with "
                                    "--smtp-password-file)")
                         .arg(s.smtpPasswordFile);
            return std::nullopt;
        }
        s.smtpPassword = *password;
    }
    if (const std::optional<notify::NotifySetError> wrong = notify::checkNotifySettings(s)) {
        // The option that sets the field, where there is one; the file otherwise.
        const QString option = QString(wrong->field).replace(u'_', u'-');
        const bool isOption = option == QLatin1String("webhook") || option.startsWith(QLatin1String("mail-")) ||
                              option.startsWith(QLatin1String("smtp-"));
        *error = isOption ? QStringLiteral("选项 --%1：%2 (--%1 cannot be used for the alarms' delivery)")
                                .arg(option, wrong->rule)
                          : QStringLiteral("通知设置文件 %1 中的 %2：%3 (cannot be used)")
                                .arg(given.file, wrong->field, wrong->rule);
        return std::nullopt;
    }
    return s;
}

QString devicePathFor(const QString& port, const QString& programFolder)
{
    static const QRegularExpression comForm(QStringLiteral("^COM(\\d{1,3})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = comForm.match(port);
    const int number = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (number >= 1 && number <= 255)
        return port::resolvePortName(number, programFolder);
    return port;
}

QString readerHelpText()
{
    return QStringLiteral(
        "用法 (usage): tq5900k-reader --port COMn|DEVICE|tcp://HOST:PORT|mbap://HOST:PORT [选项 options]\n"
        "              tq5900k-reader --list-ports\n"
        "\n"
        "依次读取串口线上各站的全部通道温度，每个数值输出一行。\n"
        "Reads every channel of each station on one serial line, one after another, and prints a line per "
        "value.\n"
        "\n"
        "  --port COMn|DEVICE       串口：COMn 按程序目录下 ports/COMn，或设备路径\n"
        "                           serial port: COMn through <program folder>/ports/COMn, or a device path\n"
        "  --port tcp://HOST:PORT   网络串口服务器（原样转发帧，如 ser2net raw）\n"
        "                           serial device server passing the frames as they are (e.g. ser2net raw)\n"
        "  --port mbap://HOST:PORT  Modbus TCP 网关 (Modbus TCP gateway)；连接断开后下一轮重连\n"
        "                           (a lost connection is tried again the next round)\n"
        "  --baud RATE              波特率 4800|9600|14400|19200，默认 9600 (baud rate, default 9600)\n"
        "  --stations LIST          站号，如 1,2,5-8，默认 1 (stations, e.g. 1,2,5-8; default 1)\n"
        "  --channels N             每站通道数 1..10，默认取 ModSet.set (channels per station; default from "
        "ModSet.set)\n"
        "  --sensors N              每通道传感器数 1..160，默认取 ModSet.set (sensors per channel; default "
        "from ModSet.set)\n"
        "  --interval SECONDS       两轮之间的秒数，默认 60；超时则立即开始下一轮\n"
        "                           seconds from one round to the next (default 60; a longer round starts "
        "the next at once)\n"
        "  --once                   每站读一轮后退出 (one round of every station, then exit)\n"
        "  --format csv|jsonl       输出格式，默认 csv (output format, default csv)\n"
        "                           列/字段 (columns/fields): time,station,channel,position,value,state,raw\n"
        "                           state: ok, not_wired, not_recognised, no_value, crc_error, no_reply\n"
        "  --history PATH           同时记入历史数据库 (also record into this history database)\n"
        "  --alarms FILE            按此报警设置（alarms.set 格式）判断报警，报警事件写到标准错误并记入历史"
        "数据库\n"
        "                           (judge alarms by this file, as alarms.set; each alarm event goes to "
        "standard error and the history)\n"
        "  --mqtt-host HOST         同时发布到 MQTT 代理 (also publish to this MQTT broker)\n"
        "  --mqtt-port PORT         默认 1883 (default 1883)\n"
        "  --site NAME              主题中的站点名，默认 site (site name in the topics, default site)\n"
        "  --name NAME              本读取程序的名称，默认主机名 (this reader's name, default the host "
        "name)\n"
        "  --mqtt-user USER         用户名 (user name)\n"
        "  --mqtt-password-file F   从文件读取密码 (password read from file F)\n"
        "  --mqtt-cafile FILE       用 TLS 连接，以此 CA 证书校验代理 (TLS, verifying the broker with this "
        "CA)\n"
        "  --notify FILE            报警通知设置 (notify.set 格式) (where alarms are sent: a notify.set "
        "file)\n"
        "  --smtp-host HOST         发送报警邮件的 SMTP 服务器 (SMTP server for the alarm e-mails)\n"
        "  --smtp-port N            默认 25/587/465，随 --smtp-tls (default by --smtp-tls)\n"
        "  --smtp-tls none|starttls|tls  默认 starttls (default starttls)\n"
        "  --smtp-user USER         SMTP 登录用户名 (SMTP login)\n"
        "  --smtp-password-file F   从文件读取 SMTP 密码 (SMTP password read from file F)\n"
        "  --mail-from ADDR         发件人 (sender)\n"
        "  --mail-to ADDR           收件人，可多次给出 (receiver; may be given several times)\n"
        "  --webhook URL            报警以 JSON POST 到此地址，可多次给出 (alarms POSTed as JSON here; "
        "repeatable)\n"
        "                           选项覆盖 --notify 文件中的同名设置 (options override the file's)\n"
        "  --timeout-ms N           应答超时 100..60000 ms，默认 500 (reply time-out, default 500)\n"
        "  --retries N              无可用应答时重试 0..10 次，默认 0 (asks again after no usable reply)\n"
        "  --gap-ms N               两次请求之间的间隔 0..10000 ms，默认 0 (pause between requests)\n"
        "  --echo                   丢弃应答前回送的请求字节 (二线制适配器) (drop the request's echo, 2-wire "
        "adapters)\n"
        "  --line-test [N]          向第一个站发 N 次请求 (默认 50)，输出应答时间等统计后退出\n"
        "                           N requests (default 50) to the first station; prints reply times, "
        "errors,\n"
        "                           echo, stray bytes and a suggested time-out, then exits\n"
        "  --scan                   扫描总线：在各波特率下探测各站号，每找到一个模块输出一行\n"
        "                           scans the line: probes each station at each baud rate and prints a "
        "line\n"
        "                           per module found, station,baud,channels, then exits\n"
        "  --scan-stations LIST     扫描的站号，如 1-20，默认 1-249 (stations to scan, default 1-249)\n"
        "  --scan-bauds LIST        扫描的波特率，默认 4800,9600,14400,19200\n"
        "                           baud rates to scan, default all four\n"
        "  --list-ports             列出本机的串口后退出 (lists this computer's serial ports, then exits)\n"
        "  --version                显示版本 (show the version)\n"
        "  --help                   显示本说明 (show this text)\n"
        "\n"
        "退出状态 (exit status):\n"
        "  0  正常 (done)\n"
        "  1  串口无法打开或正被其他程序使用，或网络连接失败 (the port cannot be opened or is in use, or the "
        "network line cannot be reached)\n"
        "  2  选项错误 (bad options)\n"
        "  3  --once 读完，但有消息未送达 MQTT 代理或报警未送出 (--once done, but messages not delivered to the "
        "broker, or alarm events not sent)\n"
        "SIGINT/SIGTERM 放弃线上的请求后结束 (end, giving up the request on the line).\n");
}

} // namespace reader
