#pragma once
// The page "通知" of the history tab: where alarms are sent (notify.set, the
// SMTP password in notify.pwd beside it), 保存, and 发送测试, which sends a
// test message to every destination the page holds and says how each went.
// It also says how the window's delivery fares: per destination its state
// and its events delivered, waiting, failed attempts and dropped.

#include "notify/alarm_delivery.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class NotifyPanel : public QWidget
{
    Q_OBJECT
public:
    // `delivery`: the window's, when notify.set started one; otherwise `problem`
    // says why not (or is empty without notify.set).
    NotifyPanel(const QString& programFolder, notify::AlarmDelivery* delivery, const QString& problem,
                QWidget* parent = nullptr);
    ~NotifyPanel() override;

    QLineEdit* txtSmtpHost = nullptr;
    QLineEdit* txtSmtpPort = nullptr; // empty: the security's usual port
    QComboBox* cboSmtpTls = nullptr;
    QLineEdit* txtSmtpUser = nullptr;
    QLineEdit* txtSmtpPassword = nullptr;
    QLineEdit* txtMailFrom = nullptr;
    QPlainTextEdit* txtMailTo = nullptr;   // one address a line
    QPlainTextEdit* txtWebhooks = nullptr; // one URL a line
    QSpinBox* spnGatherSeconds = nullptr;
    QPushButton* cmdNotifySave = nullptr;
    QPushButton* cmdNotifyTest = nullptr;
    QLabel* lblNotifyResult = nullptr; // what 保存 or 发送测试 came to
    QLabel* lblNotifyState = nullptr;  // the window's delivery

private:
    void fill(const notify::NotifySettings& settings);
    // The settings the fields hold; nullopt, with the reason shown, when they cannot be used.
    std::optional<notify::NotifySettings> fromFields();
    void save();
    void sendTest();
    void showTestResult(const QString& destination, const QString& error);
    void showDeliveryState();
    void showResult(const QString& text, bool problem);

    const QString m_folder;
    notify::NotifySettings m_loaded; // what notify.set held: the fields the page does not show keep it
    QPointer<notify::AlarmDelivery> m_delivery;
    QString m_problem;
    std::unique_ptr<notify::AlarmDelivery> m_test; // the running test's own delivery
    QStringList m_testResults;
    int m_testsLeft = 0;
};
