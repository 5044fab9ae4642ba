// "line.set": what each line gives, a bad value named with its default kept,
// other keys kept through a save.

#include "config/line_settings_file.h"
#include "config_tests.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace config;
using requests::LineTuning;

Q_DECLARE_METATYPE(requests::LineTuning)

namespace {
LineTuning tuned(int timeoutMs, int retries, int gapMs, bool echo, const QString& address = {})
{
    LineTuning t;
    t.address = address;
    t.replyTimeoutMs = timeoutMs;
    t.retries = retries;
    t.gapMs = gapMs;
    t.echo = echo;
    return t;
}
} // namespace

class TestLineSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<LineTuning>("tuning");
        QTest::addColumn<QStringList>("bad");
        QTest::addColumn<int>("kept");
        const QStringList none;
        QTest::newRow("empty: defaults") << QByteArray() << LineTuning{} << none << 0;
        QTest::newRow("all keys, LF, blanks")
            << QByteArray("address= tcp://10.0.0.5:4001 \ntimeout_ms = 1500\nretries=2\ngap_ms=40\necho=1\n")
            << tuned(1500, 2, 40, true, QStringLiteral("tcp://10.0.0.5:4001")) << none << 0;
        QTest::newRow("CR only, upper-case key") << QByteArray("TIMEOUT_MS=100\rretries=10") << tuned(100, 10, 0, false)
                                                 << none << 0;
        QTest::newRow("limits") << QByteArray("timeout_ms=60000\r\ngap_ms=10000\r\n") << tuned(60000, 0, 10000, false)
                                << none << 0;
        QTest::newRow("timeout too short") << QByteArray("timeout_ms=99\r\nretries=1\r\n") << tuned(500, 1, 0, false)
                                           << QStringList{"timeout_ms"} << 0;
        QTest::newRow("timeout too long") << QByteArray("timeout_ms=60001") << LineTuning{}
                                          << QStringList{"timeout_ms"} << 0;
        QTest::newRow("negative, not a number, bad echo")
            << QByteArray("retries=-1\ngap_ms=5ms\necho=yes\ntimeout_ms=800") << tuned(800, 0, 0, false)
            << QStringList{"retries", "gap_ms", "echo"} << 0;
        QTest::newRow("too many retries") << QByteArray("retries=11") << LineTuning{} << QStringList{"retries"} << 0;
        QTest::newRow("other keys kept") << QByteArray("baud_hint=9600\n# note\nretries=3\n")
                                         << tuned(500, 3, 0, false) << none << 2;
    }
    void parse()
    {
        QFETCH(QByteArray, content);
        QFETCH(LineTuning, tuning);
        QFETCH(QStringList, bad);
        QFETCH(int, kept);
        const LineSetContent parsed = parseLineSet(content);
        QCOMPARE(parsed.tuning, tuning);
        QCOMPARE(parsed.badFields, bad);
        QCOMPARE(parsed.kept.size(), kept);
    }

    void savedFileReadsBackWithOtherKeys()
    {
        QTemporaryDir dir;
        const LineTuning t = tuned(2500, 1, 20, true, QStringLiteral("COM7"));
        QVERIFY(saveLineSet(dir.path(), t, {"vendor=x"}));
        const LineSetLoad load = loadLineSet(dir.path());
        QCOMPARE(load.status, SettingsLoad::Ok);
        QVERIFY(load.errorText.isEmpty());
        QCOMPARE(load.content.tuning, t);
        QCOMPARE(load.content.kept, QList<QByteArray>{"vendor=x"});
        QCOMPARE(formatLineSet(LineTuning{}),
                 QByteArray("address=\r\ntimeout_ms=500\r\nretries=0\r\ngap_ms=0\r\necho=0\r\n"));
    }

    void badValueIsNamed()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("line.set")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("gap_ms=-5\r\n");
        file.close();
        const LineSetLoad load = loadLineSet(dir.path());
        QVERIFY2(load.errorText.contains(QLatin1String("gap_ms")), qPrintable(load.errorText));
        QCOMPARE(load.content.tuning, LineTuning{});
        QCOMPARE(lineNumberRangeText(LineNumber::ReplyTimeout), QStringLiteral("应答超时(ms)：请输入100～60000之间的整数"));
    }
};

std::unique_ptr<QObject> makeLineSettingsTest()
{
    return std::make_unique<TestLineSettings>();
}

#include "test_line_settings.moc"
