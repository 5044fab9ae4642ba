// Network line addresses: what opens, and what the operator is told about the rest.

#include "port/line_address.h"

#include <QtTest>

using port::LineAddress;

class TestLineAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("normalised"); // when valid: text(); else a part of the error
        QTest::newRow("tcp") << "tcp://127.0.0.1:7001" << true << "tcp://127.0.0.1:7001";
        QTest::newRow("mbap, blanks, upper case") << "  MBAP://gw.local:502 " << true << "mbap://gw.local:502";
        QTest::newRow("ipv6") << "tcp://[::1]:65535" << true << "tcp://[::1]:65535";
        QTest::newRow("ipv6 with scope") << "tcp://[fe80::1%1]:7001" << true << "tcp://[fe80::1%1]:7001";
        QTest::newRow("port 1") << "mbap://h:1" << true << "mbap://h:1";
        QTest::newRow("port 0") << "tcp://h:0" << false << "1 到 65535";
        QTest::newRow("port 65536") << "tcp://h:65536" << false << "1 到 65535";
        QTest::newRow("port not a number") << "tcp://h:80a" << false << "端口号“80a”";
        QTest::newRow("no port") << "tcp://h" << false << "缺少端口号";
        QTest::newRow("ipv6 without port") << "tcp://[::1]" << false << "缺少端口号";
        QTest::newRow("no host") << "mbap://:502" << false << "缺少主机名";
        QTest::newRow("path after host") << "tcp://h/x:1" << false << "主机名“h/x”";
        QTest::newRow("bracket in host") << "tcp://a]:b:1" << false << "主机名“a]:b”";
        QTest::newRow("other scheme") << "udp://h:1" << false << "udp";
        QTest::newRow("no scheme") << "127.0.0.1:502" << false << "tcp://主机:端口";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, normalised);
        QString error;
        const std::optional<LineAddress> address = port::parseLineAddress(text, &error);
        QCOMPARE(address.has_value(), valid);
        if (valid) {
            QCOMPARE(address->text(), normalised);
            QVERIFY(error.isEmpty());
        } else {
            QVERIFY2(error.contains(normalised), qPrintable(error));
            QVERIFY2(error.contains(text.trimmed()), qPrintable(error)); // names what was given
        }
    }
};

QTEST_GUILESS_MAIN(TestLineAddress)
#include "test_line_address.moc"
