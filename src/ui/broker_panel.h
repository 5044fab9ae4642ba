#pragma once
// The page "消息代理" of the history tab: whether the window publishes its
// readings to a broker (mqtt.set), the connection's state, and the messages
// waiting, dropped and published.

#include "site/mqtt_publisher.h"

#include <QTimer>
#include <QWidget>

class QLabel;

class BrokerPanel : public QWidget
{
    Q_OBJECT
public:
    // The counters change with every message; the page follows them at most this
    // often, and only while it is shown.
    static constexpr int RefreshMs = 500;

    // Without a publisher publishing is off, and `problem` says why when mqtt.set
    // could not be used; without either the page says that the file at
    // `settingsPath` turns publishing on.
    BrokerPanel(const site::MqttPublisher* publisher, const QString& problem, const QString& settingsPath,
                QWidget* parent = nullptr);

    QLabel* lblBrokerState = nullptr;
    QLabel* lblBrokerWaiting = nullptr;
    QLabel* lblBrokerDropped = nullptr;
    QLabel* lblBrokerPublished = nullptr;
    QLabel* lblBrokerProblem = nullptr; // why publishing is off; hidden when nothing is wrong
    QLabel* lblBrokerHint = nullptr;    // how to turn it on; shown only while it is off for want of mqtt.set

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    const site::MqttPublisher* m_publisher;
    QTimer m_refresh;
};
