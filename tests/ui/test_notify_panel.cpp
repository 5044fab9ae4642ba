// The page "通知": settings typed in, saved (the password in its own file) and
// read back; a field that cannot be used named; 发送测试 saying how each
// destination went without holding up the window; the window's delivery shown.

#include "../notify/python_sink.h"

#include "notify/alarm_delivery.h"
#include "ui/notify_panel.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

class TestNotifyPanel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void savesAndReadsBack()
    {
        QTemporaryDir folder;
        {
            NotifyPanel page(folder.path(), nullptr, QString());
            QVERIFY(page.lblNotifyState->text().startsWith(QStringLiteral("报警通知未启用")));
            page.txtSmtpHost->setText(QStringLiteral("mail.example.com"));
            page.cboSmtpTls->setCurrentIndex(int(notify::SmtpSecurity::Tls));
            page.txtSmtpUser->setText(QStringLiteral("robot"));
            page.txtSmtpPassword->setText(QStringLiteral("pa,ss \"Kx9\""));
            page.txtMailFrom->setText(QStringLiteral("alarm@example.com"));
            page.txtMailTo->setPlainText(QStringLiteral("a@example.com\n\n b@example.com \n"));
            page.txtWebhooks->setPlainText(QStringLiteral("https://chat.example.com/send?key=1"));
            page.spnGatherSeconds->setValue(30);
            page.cmdNotifySave->click();
            QVERIFY2(page.lblNotifyResult->text().startsWith(QStringLiteral("已保存到")),
                     qPrintable(page.lblNotifyResult->text()));
        }
        QFile set(QDir(folder.path()).filePath(QStringLiteral("notify.set")));
        QVERIFY(set.open(QIODevice::ReadOnly));
        QVERIFY2(!set.readAll().contains("Kx9"), "the password is not in notify.set");

        const notify::NotifySetLoad load = notify::loadNotifySet(set.fileName());
        QCOMPARE(load.status, notify::NotifySetLoad::Ok);
        QCOMPARE(load.settings.smtpPassword, QStringLiteral("pa,ss \"Kx9\""));
        QCOMPARE(load.settings.mailTo, (QStringList{QStringLiteral("a@example.com"), QStringLiteral("b@example.com")}));
        QCOMPARE(load.settings.smtpSecurity, notify::SmtpSecurity::Tls);
        QCOMPARE(load.settings.gatherMs, 30000);

        // A page made anew shows what was saved.
        NotifyPanel again(folder.path(), nullptr, QString());
        QCOMPARE(again.txtSmtpPassword->text(), QStringLiteral("pa,ss \"Kx9\""));
        QCOMPARE(again.txtMailTo->toPlainText(), QStringLiteral("a@example.com\nb@example.com"));
        QCOMPARE(again.cboSmtpTls->currentIndex(), int(notify::SmtpSecurity::Tls));
    }

    void namesWhatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("receivers");
        QTest::addColumn<QString>("said");
        QTest::newRow("port") << "99999" << "a@example.com" << "端口 不可用";
        QTest::newRow("receiver") << "" << "a@example.com\nnobody" << "收件人（每行一个） 不可用：\"nobody\"";
        QTest::newRow("no receiver") << "" << "" << "收件人（每行一个） 不可用";
    }
    void namesWhatCannotBeUsed()
    {
        QFETCH(QString, port);
        QFETCH(QString, receivers);
        QFETCH(QString, said);
        QTemporaryDir folder;
        NotifyPanel page(folder.path(), nullptr, QString());
        page.txtSmtpHost->setText(QStringLiteral("mail.example.com"));
        page.txtSmtpPort->setText(port);
        page.txtMailFrom->setText(QStringLiteral("alarm@example.com"));
        page.txtMailTo->setPlainText(receivers);
        page.cmdNotifySave->click();
        QVERIFY2(page.lblNotifyResult->text().startsWith(said), qPrintable(page.lblNotifyResult->text()));
        QVERIFY(!QFile::exists(QDir(folder.path()).filePath(QStringLiteral("notify.set"))));
    }

    // 发送测试 returns at once; each destination's result follows.
    void testSaysEachResult()
    {
        if (const QString problem = Sink::unavailable("import http.server"); !problem.isEmpty())
            QSKIP(qPrintable(problem));
        Sink web("http_sink.py"), nobody("http_sink.py"); // nobody is never started
        QVERIFY(web.start());
        QTemporaryDir folder;
        NotifyPanel page(folder.path(), nullptr, QString());
        page.txtWebhooks->setPlainText(QStringLiteral("http://127.0.0.1:%1/a\nhttp://127.0.0.1:%2/b")
                                           .arg(web.port())
                                           .arg(nobody.port()));
        page.cmdNotifyTest->click();
        QVERIFY(!page.cmdNotifyTest->isEnabled());
        QCOMPARE(page.lblNotifyResult->text(), QStringLiteral("正在发送测试通知……"));
        QTRY_VERIFY_WITH_TIMEOUT(page.cmdNotifyTest->isEnabled(), 20000);
        const QStringList lines = page.lblNotifyResult->text().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.contains(QStringLiteral("webhook http://127.0.0.1:%1/a：测试通知已送达").arg(web.port())));
        QVERIFY2(page.lblNotifyResult->text().contains(
                     QStringLiteral("webhook http://127.0.0.1:%1/b：发送失败：").arg(nobody.port())),
                 qPrintable(page.lblNotifyResult->text()));
        QCOMPARE(web.files().size(), 1);
    }

    // The window's delivery as it fares: failing, then delivered.
    void showsTheDelivery()
    {
        if (const QString problem = Sink::unavailable("import http.server"); !problem.isEmpty())
            QSKIP(qPrintable(problem));
        Sink web("http_sink.py");
        notify::NotifySettings settings;
        settings.webhooks = QStringList{QStringLiteral("http://127.0.0.1:%1/a").arg(web.port())};
        settings.retryFirstMs = settings.retryLastMs = 200;
        notify::AlarmDelivery delivery(settings);
        QCOMPARE(delivery.start(), QString());
        QTemporaryDir folder;
        NotifyPanel page(folder.path(), &delivery, QString());
        QVERIFY(page.lblNotifyState->text().contains(QStringLiteral("正常")));
        alarms::AlarmNotice n;
        n.alarmId = 1;
        n.at = n.startedAt = QDateTime::currentDateTime();
        delivery.deliver(n);
        QTRY_VERIFY_WITH_TIMEOUT(page.lblNotifyState->text().contains(QStringLiteral("发送失败，稍后重试")), 20000);
        QVERIFY(page.lblNotifyState->text().contains(QStringLiteral("等待 1")));
        QVERIFY(web.start());
        QTRY_VERIFY_WITH_TIMEOUT(page.lblNotifyState->text().contains(QStringLiteral("已送达 1，等待 0")), 20000);
        QVERIFY(page.lblNotifyState->text().contains(QStringLiteral("正常")));
    }

    // A notify.set that cannot be used is said on the page.
    void saysTheProblem()
    {
        QTemporaryDir folder;
        NotifyPanel page(folder.path(), nullptr, QStringLiteral("通知设置文件 x 第 2 行的 smtp_port 不可用"));
        QCOMPARE(page.lblNotifyState->text(), QStringLiteral("通知设置文件 x 第 2 行的 smtp_port 不可用"));
    }
};

QTEST_MAIN(TestNotifyPanel)
#include "test_notify_panel.moc"
