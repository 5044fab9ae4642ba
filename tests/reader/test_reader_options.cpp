// The reader's command line as a table: what each argument list gives, and the
// message for each one that cannot be used; the texts it writes, in both languages.

#include "reader/reader_options.h"
#include "reader/reader_texts.h"

#include "history/history_writer.h"
#include "port/port_messages.h"

#include <QtTest>

using namespace reader;

// In a row of a table of options: when the options are refused, the error must
// start with the row's outcome, and the row ends there.
#define END_ROW_IF_REFUSED(parsed, outcome)                                                          \
    if ((parsed).status == ParsedOptions::Error) {                                                   \
        QVERIFY2((parsed).error.startsWith(outcome), qPrintable((parsed).error));                    \
        return;                                                                                      \
    }

class TestReaderOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void arguments_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("modSet"); // channels,sensors of the installation
        // For a run: "port baud stations channels sensors interval once format history host:port/site/name";
        // otherwise "help" or the start of the error text.
        QTest::addColumn<QString>("outcome");

        const QString defaults = QStringLiteral("10,40");
        QTest::newRow("only the port") << "--port COM4" << defaults << "COM4 9600 1 10 40 60 - csv - -";
        QTest::newRow("everything") << "--port=/dev/ttyUSB0 --baud 19200 --stations 1,2,5-8 --channels 3 "
                                       "--sensors=160 --interval 0 --once --format jsonl --history /tmp/h.db "
                                       "--mqtt-host broker --mqtt-port 8883 --site grain --name line1"
                                    << defaults
                                    << "/dev/ttyUSB0 19200 1,2,5,6,7,8 3 160 0 once jsonl /tmp/h.db "
                                       "broker:8883/grain/line1";
        QTest::newRow("installation's counts") << "--port COM1"
                                               << "4,160"
                                               << "COM1 9600 1 4 160 60 - csv - -";
        QTest::newRow("options over a bad ModSet.set") << "--port COM1 --channels 2 --sensors 8"
                                                       << "0,200"
                                                       << "COM1 9600 1 2 8 60 - csv - -";
        QTest::newRow("gateway address, tidied") << "--port MBAP://gw:502" << defaults
                                                 << "mbap://gw:502 9600 1 10 40 60 - csv - -";
        QTest::newRow("network port 0") << "--port tcp://h:0" << defaults << "选项 --port：地址 tcp://h:0 无法使用：端口号“0”";
        QTest::newRow("network address without host") << "--port tcp://:7001" << defaults << "选项 --port：地址 tcp://:7001 无法使用：缺少主机名";
        QTest::newRow("help wins") << "--port COM1 --baud 1 --help" << defaults << "help";

        QTest::newRow("no port") << "--once" << defaults << "缺少选项 --port";
        QTest::newRow("bad ModSet.set channels") << "--port COM1"
                                                 << "11,40"
                                                 << "ModSet.set 中的通道数 11";
        QTest::newRow("bad ModSet.set sensors") << "--port COM1"
                                                << "10,0"
                                                << "ModSet.set 中的传感器数 0";
        QTest::newRow("unknown option") << "--port COM1 --verbose" << defaults << "未知选项 --verbose";
        QTest::newRow("single dash") << "--port COM1 -x" << defaults << "无法识别的参数 \"-x\"";
        QTest::newRow("missing value") << "--port" << defaults << "选项 --port 缺少值";
        QTest::newRow("value to a switch") << "--port COM1 --once=yes" << defaults << "选项 --once 不带值";
        QTest::newRow("given twice") << "--port COM1 --baud 9600 --baud 4800" << defaults
                                     << "选项 --baud 给了两次";
        QTest::newRow("baud not the module's")
            << "--port COM1 --baud 115200" << defaults
            << "选项 --baud 的值 \"115200\" 无效，应为 4800|9600|14400|19200";
        QTest::newRow("channels 0") << "--port COM1 --channels 0" << defaults
                                    << "选项 --channels 的值 \"0\" 无效";
        QTest::newRow("sensors 161") << "--port COM1 --sensors 161" << defaults
                                     << "选项 --sensors 的值 \"161\"";
        QTest::newRow("interval negative") << "--port COM1 --interval -1" << defaults << "选项 --interval";
        QTest::newRow("interval fraction") << "--port COM1 --interval 1.5" << defaults << "选项 --interval";
        QTest::newRow("format") << "--port COM1 --format xml" << defaults << "选项 --format 的值 \"xml\"";
        QTest::newRow("mqtt port 0") << "--port COM1 --mqtt-host h --mqtt-port 0" << defaults
                                     << "选项 --mqtt-port";
        QTest::newRow("broker option without a broker")
            << "--port COM1 --site grain" << defaults << "选项 --site 需要 --mqtt-host";
        QTest::newRow("stations reversed")
            << "--port COM1 --stations 3-1" << defaults << "选项 --stations 的值 \"3-1\"";
        QTest::newRow("station 0") << "--port COM1 --stations 0,1" << defaults << "选项 --stations";
        QTest::newRow("wildcard station") << "--port COM1 --stations 250" << defaults << "选项 --stations";
        QTest::newRow("empty entry") << "--port COM1 --stations 1,,2" << defaults << "选项 --stations";
        QTest::newRow("open range") << "--port COM1 --stations 5-" << defaults << "选项 --stations";
        QTest::newRow("two dashes") << "--port COM1 --stations 1-2-3" << defaults << "选项 --stations";
        QTest::newRow("station twice")
            << "--port COM1 --stations 1-3,2" << defaults << "选项 --stations 中站号 2 出现了两次";
    }
    void arguments()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, modSet);
        QFETCH(QString, outcome);
        config::ModuleSettings installation;
        installation.channelCount = modSet.section(QLatin1Char(','), 0, 0).toInt();
        installation.sensorsPerChannel = modSet.section(QLatin1Char(','), 1, 1).toInt();

        const ParsedOptions parsed = parseReaderOptions(arguments.split(QLatin1Char(' ')), installation);
        END_ROW_IF_REFUSED(parsed, outcome);
        if (parsed.status == ParsedOptions::Help) {
            QCOMPARE(QStringLiteral("help"), outcome);
            return;
        }
        const ReaderOptions& o = parsed.options;
        QStringList stations;
        for (int station : o.stations)
            stations << QString::number(station);
        const QString broker = o.broker.host.isEmpty() ? QStringLiteral("-")
                                                       : QStringLiteral("%1:%2/%3/%4")
                                                             .arg(o.broker.host)
                                                             .arg(o.broker.port)
                                                             .arg(o.broker.site, o.broker.name);
        const QString got =
            QStringList{o.port,
                        QString::number(o.baud),
                        stations.join(QLatin1Char(',')),
                        QString::number(o.channels),
                        QString::number(o.sensors),
                        QString::number(o.intervalSeconds),
                        o.once ? QStringLiteral("once") : QStringLiteral("-"),
                        o.format == OutputFormat::Csv ? QStringLiteral("csv") : QStringLiteral("jsonl"),
                        o.historyPath.isEmpty() ? QStringLiteral("-") : o.historyPath,
                        broker}
                .join(QLatin1Char(' '));
        QCOMPARE(got, outcome);
    }

    // The line's tuning and the line test: "timeout retries gap echo line-test", or the error's start.
    void lineTuning_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("defaults") << "--port COM1"
                                  << "500 0 0 - -";
        QTest::newRow("all") << "--port COM1 --timeout-ms 1500 --retries=2 --gap-ms 40 --echo"
                             << "1500 2 40 echo -";
        QTest::newRow("line test, default count") << "--port COM1 --line-test"
                                                  << "500 0 0 - 50";
        QTest::newRow("line test before another option") << "--port COM1 --line-test --echo"
                                                         << "500 0 0 echo 50";
        QTest::newRow("line test with a count") << "--port COM1 --line-test 200"
                                                << "500 0 0 - 200";
        QTest::newRow("line test count 0") << "--port COM1 --line-test=0"
                                           << "选项 --line-test 的值 \"0\" 无效";
        QTest::newRow("time-out too short") << "--port COM1 --timeout-ms 99"
                                            << "选项 --timeout-ms 的值 \"99\" 无效，应为 100..60000";
        QTest::newRow("time-out too long") << "--port COM1 --timeout-ms 60001"
                                           << "选项 --timeout-ms";
        QTest::newRow("retries 11") << "--port COM1 --retries 11"
                                    << "选项 --retries 的值 \"11\" 无效，应为 0..10";
        QTest::newRow("gap negative") << "--port COM1 --gap-ms -1"
                                      << "选项 --gap-ms";
        QTest::newRow("echo takes no value") << "--port COM1 --echo=1"
                                             << "选项 --echo 不带值";
    }
    void lineTuning()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, outcome);
        const ParsedOptions parsed = parseReaderOptions(arguments.split(QLatin1Char(' ')), config::ModuleSettings{});
        END_ROW_IF_REFUSED(parsed, outcome);
        QCOMPARE(int(parsed.status), int(ParsedOptions::Run));
        const requests::LineTuning& t = parsed.options.tuning;
        const std::optional<int> test = parsed.options.lineTestRequests;
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(t.replyTimeoutMs)
                     .arg(t.retries)
                     .arg(t.gapMs)
                     .arg(t.echo ? QStringLiteral("echo") : QStringLiteral("-"),
                          test ? QString::number(*test) : QStringLiteral("-")),
                 outcome);
    }

    // The scan's options: "stations bauds" (a range as first-last), or the error's start.
    void scanOptions_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("defaults") << "--port COM1 --scan"
                                  << "1-249 4800,9600,14400,19200";
        QTest::newRow("chosen") << "--port COM1 --scan --scan-stations 9,3-5 --scan-bauds 19200,4800"
                                << "9-5 19200,4800";
        QTest::newRow("station repeated") << "--port COM1 --scan --scan-stations 3,3"
                                          << "选项 --scan-stations 中站号 3 出现了两次";
        QTest::newRow("rate repeated") << "--port COM1 --scan --scan-bauds 9600,9600"
                                       << "选项 --scan-bauds：";
        QTest::newRow("stations without --scan") << "--port COM1 --scan-stations 1-3"
                                                 << "选项 --scan-stations 需要 --scan";
        QTest::newRow("list ports needs no port") << "--list-ports"
                                                  << "list";
    }
    void scanOptions()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, outcome);
        const ParsedOptions parsed = parseReaderOptions(arguments.split(QLatin1Char(' ')), config::ModuleSettings{});
        END_ROW_IF_REFUSED(parsed, outcome);
        QCOMPARE(int(parsed.status), int(ParsedOptions::Run));
        const ReaderOptions& o = parsed.options;
        if (o.listPorts) {
            QCOMPARE(QStringLiteral("list"), outcome);
            return;
        }
        QVERIFY(o.scan);
        QStringList bauds;
        for (int baud : o.scanBauds)
            bauds << QString::number(baud);
        QCOMPARE(QStringLiteral("%1-%2 %3")
                     .arg(o.scanStations.first())
                     .arg(o.scanStations.last())
                     .arg(bauds.join(QLatin1Char(','))),
                 outcome);
    }

    // Where alarms go: "url from receivers webhooks user:password", or the start of the error text.
    void notifyOptions_data()
    {
        QTest::addColumn<QString>("arguments"); // {dir}: a folder with notify.set and the password file pw
        QTest::addColumn<QByteArray>("notifySet");
        QTest::addColumn<QString>("outcome");
        const QByteArray file = "smtp_host,file.example\nsmtp_port,2525\nmail_from,f@x.example\n"
                                "mail_to,z@x.example\nwebhook,http://hook.example/1\n";
        QTest::newRow("options only")
            << "--smtp-host mail --smtp-tls tls --mail-from a@x.example --mail-to b@x.example --mail-to c@x.example"
            << QByteArray() << "smtps://mail:465 a@x.example b@x.example,c@x.example - -";
        QTest::newRow("webhooks only, repeated")
            << "--webhook http://h/1 --webhook=https://h/2" << QByteArray() << "- - - http://h/1,https://h/2 -";
        QTest::newRow("the file") << "--notify {dir}/notify.set" << file
                                  << "smtp://file.example:2525 f@x.example z@x.example http://hook.example/1 -";
        QTest::newRow("options over the file")
            << "--notify {dir}/notify.set --smtp-host o.example --smtp-tls none --mail-to y@x.example "
               "--webhook http://h/9 --smtp-user u --smtp-password-file {dir}/pw"
            << file << "smtp://o.example:2525 f@x.example y@x.example http://h/9 u:s3cret";
        QTest::newRow("receiver without server") << "--mail-to b@x.example" << QByteArray() << "选项 --smtp-host：";
        QTest::newRow("server without receiver")
            << "--smtp-host mail --mail-from a@x.example" << QByteArray() << "选项 --mail-to：";
        QTest::newRow("webhook not http") << "--webhook ftp://h/1" << QByteArray() << "选项 --webhook：";
        QTest::newRow("security") << "--smtp-tls ssl" << QByteArray() << "选项 --smtp-tls 的值 \"ssl\" 无效";
        QTest::newRow("port") << "--smtp-port 0" << QByteArray() << "选项 --smtp-port 的值 \"0\" 无效";
        QTest::newRow("sender twice")
            << "--mail-from a@x.example --mail-from b@x.example" << QByteArray() << "选项 --mail-from 给了两次";
        QTest::newRow("no such file") << "--notify {dir}/none.set" << QByteArray() << "通知设置文件 ";
        QTest::newRow("file's line named")
            << "--notify {dir}/notify.set" << QByteArray("webhook,http://h/1\nsmtp_port,x\n")
            << "通知设置文件 {dir}/notify.set 第 2 行的 smtp_port 不可用";
        QTest::newRow("password file missing")
            << "--webhook http://h/1 --smtp-user u --smtp-password-file {dir}/nothing" << QByteArray()
            << "无法读取密码文件 {dir}/nothing";
    }
    void notifyOptions()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, notifySet);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        if (!notifySet.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("notify.set")));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(notifySet) == notifySet.size());
        }
        QFile password(dir.filePath(QStringLiteral("pw")));
        QVERIFY(password.open(QIODevice::WriteOnly) && password.write("s3cret\n") == 7);
        password.close();
        arguments.replace(QStringLiteral("{dir}"), dir.path());
        outcome.replace(QStringLiteral("{dir}"), dir.path());

        config::ModuleSettings installation;
        const ParsedOptions parsed = parseReaderOptions(
            (QStringLiteral("--port COM1 ") + arguments).split(QLatin1Char(' ')), installation);
        END_ROW_IF_REFUSED(parsed, outcome);
        QCOMPARE(parsed.status, ParsedOptions::Run);
        QString error;
        const std::optional<notify::NotifySettings> s = notifySettings(parsed.options.notify, &error);
        if (!s) {
            QVERIFY2(error.startsWith(outcome), qPrintable(error));
            QVERIFY2(error.endsWith(u')'), qPrintable(error)); // the English follows
            return;
        }
        const auto orDash = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
        const QString got = QStringList{s->mailConfigured() ? notify::smtpUrl(*s) : QStringLiteral("-"),
                                        orDash(s->mailFrom), orDash(s->mailTo.join(u',')),
                                        orDash(s->webhooks.join(u',')),
                                        s->smtpUser.isEmpty() ? QStringLiteral("-") : s->smtpUser + u':' + s->smtpPassword}
                                .join(u' ');
        QCOMPARE(got, outcome);
    }

    // What the reader says as an alarm destination's state changes: "" for nothing.
    void deliveryChanges_data()
    {
        using State = notify::DestinationStatus::State;
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("now");
        QTest::addColumn<qint64>("dropped");
        QTest::addColumn<QString>("said");
        QTest::newRow("failing") << int(State::Idle) << int(State::Retrying) << qint64(0) << "发送失败，稍后重试";
        QTest::newRow("still failing") << int(State::Retrying) << int(State::Retrying) << qint64(0) << "";
        QTest::newRow("back") << int(State::Retrying) << int(State::Idle) << qint64(0) << "已恢复发送";
        QTest::newRow("refused") << int(State::Retrying) << int(State::Failed) << qint64(0) << "被拒绝，不再重试";
        QTest::newRow("dropping") << int(State::Retrying) << int(State::Retrying) << qint64(3) << "已丢弃 3 条事件";
        QTest::newRow("delivering") << int(State::Idle) << int(State::Idle) << qint64(0) << "";
    }
    void deliveryChanges()
    {
        QFETCH(int, before);
        QFETCH(int, now);
        QFETCH(qint64, dropped);
        QFETCH(QString, said);
        notify::DestinationStatus a, b;
        a.name = b.name = QStringLiteral("webhook http://h/1");
        a.state = notify::DestinationStatus::State(before);
        b.state = notify::DestinationStatus::State(now);
        b.dropped = dropped;
        b.lastError = QStringLiteral("Couldn't connect to server");
        const QString text = deliveryChangeText(a, b);
        if (said.isEmpty()) {
            QCOMPARE(text, QString());
            return;
        }
        QVERIFY2(text.contains(said) && text.contains(a.name) && text.contains(QLatin1String(" (")), qPrintable(text));
    }

    // The shared libraries' Chinese, as the window shows it, then the English in
    // brackets, naming the port where the text is about one.
    void textsInBothLanguages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("chinese");
        QTest::addColumn<QString>("named");
        using port::OpenFailure;
        const QString com = QStringLiteral("COM4"), device = QStringLiteral("/dev/pts/3");
        for (const auto& [name, failure] :
             {std::pair{"busy", OpenFailure::Busy}, std::pair{"missing", OpenFailure::Missing},
              std::pair{"denied", OpenFailure::Denied}, std::pair{"settings", OpenFailure::Settings},
              std::pair{"other", OpenFailure::Other}})
            QTest::newRow(name) << portOpenFailureText(failure, com, device)
                                << port::openFailureText(failure, com, device) << "port COM4 at /dev/pts/3";
        QTest::newRow("device given as the port")
            << portOpenFailureText(OpenFailure::Busy, device, device)
            << port::openFailureText(OpenFailure::Busy, device, device) << "port /dev/pts/3 is";
        QTest::newRow("lost") << portLostText(com) << port::connectionLostText() << "port COM4";
        const QString settings = QStringLiteral("无法读取历史数据设置文件 /x/history.set，已使用默认设置");
        QTest::newRow("history.set") << historySettingsText(settings) << settings << "";
        const QString failure = QStringLiteral("历史数据库 /x/h.db 无法写入：disk I/O error");
        QTest::newRow("history failing") << historyFailedText(failure) << failure << "";
        QTest::newRow("history lost") << historyLostText(history::lostReadingsText("/x/h.db", 7))
                                      << history::lostReadingsText("/x/h.db", 7) << "";
        QTest::newRow("history back") << historyRecoveredText(0) << history::recoveredText(0) << "";
        QTest::newRow("history back, some dropped")
            << historyRecoveredText(12) << history::recoveredText(12) << "12 readings";
    }
    void textsInBothLanguages()
    {
        QFETCH(QString, text);
        QFETCH(QString, chinese);
        QFETCH(QString, named);
        QVERIFY2(text.startsWith(chinese + QStringLiteral(" (")) && text.endsWith(QLatin1Char(')')),
                 qPrintable(text));
        const QString english = text.mid(chinese.size());
        for (const QChar c : english)
            QVERIFY2(c.unicode() < 0x80, qPrintable(english));
        QVERIFY2(english.contains(named), qPrintable(english));
    }

    void portNames()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("ports")));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/7"), folder.filePath(QStringLiteral("ports/COM4"))));
        QCOMPARE(devicePathFor(QStringLiteral("COM4"), folder.path()), QStringLiteral("/dev/pts/7"));
        QCOMPARE(devicePathFor(QStringLiteral("com4"), folder.path()), QStringLiteral("/dev/pts/7"));
        QCOMPARE(devicePathFor(QStringLiteral("/dev/ttyUSB0"), folder.path()),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(devicePathFor(QStringLiteral("COM0"), folder.path()), QStringLiteral("COM0"));
    }
};

QTEST_GUILESS_MAIN(TestReaderOptions)
#include "test_reader_options.moc"
