#include "broker_panel.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// Every text the panel shows of its own.
namespace captions {
const QString Group = QStringLiteral("消息代理");
const QString State = QStringLiteral("状态");
const QString Waiting = QStringLiteral("等待发送的消息");
const QString Dropped = QStringLiteral("已丢弃");
const QString Published = QStringLiteral("已发布");
const QString Off = QStringLiteral("未启用");
const QString Connecting = QStringLiteral("正在连接 %1:%2");
const QString Connected = QStringLiteral("已连接 %1:%2");
const QString Reconnecting = QStringLiteral("连接断开，正在重连：%1");
const QString Failed = QStringLiteral("连接失败，不再重试：%1");
const QString Hint = QStringLiteral("在 %1 中写入一行“主机,端口,站点名”（例如 127.0.0.1,1883,plant），"
                                    "重新启动程序后即向该消息代理发布读数。");
} // namespace captions

QLabel* label(const QString& objectName)
{
    auto* l = new QLabel;
    l->setObjectName(objectName);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

// "未启用", "正在连接 host:port", "已连接 host:port", "连接断开，正在重连：<reason>"
// or "连接失败，不再重试：<reason>".
QString stateText(site::MqttPublisher::State state, const site::MqttOptions& options, const QString& reason)
{
    using State = site::MqttPublisher::State;
    switch (state) {
    case State::Off:
        break;
    case State::Connecting:
        return captions::Connecting.arg(options.host, QString::number(options.port));
    case State::Connected:
        return captions::Connected.arg(options.host, QString::number(options.port));
    case State::Reconnecting:
        return captions::Reconnecting.arg(reason);
    case State::Failed:
        return captions::Failed.arg(reason);
    }
    return captions::Off;
}

} // namespace

BrokerPanel::BrokerPanel(const site::MqttPublisher* publisher, const QString& problem,
                         const QString& settingsPath, QWidget* parent)
    : QWidget(parent), m_publisher(publisher)
{
    lblBrokerState = label(QStringLiteral("lblBrokerState"));
    lblBrokerState->setWordWrap(true);
    lblBrokerWaiting = label(QStringLiteral("lblBrokerWaiting"));
    lblBrokerDropped = label(QStringLiteral("lblBrokerDropped"));
    lblBrokerPublished = label(QStringLiteral("lblBrokerPublished"));
    lblBrokerProblem = label(QStringLiteral("lblBrokerProblem"));
    lblBrokerProblem->setWordWrap(true);
    lblBrokerProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    lblBrokerProblem->setText(problem);
    lblBrokerProblem->setVisible(!problem.isEmpty());
    lblBrokerHint = label(QStringLiteral("lblBrokerHint"));
    lblBrokerHint->setWordWrap(true);
    lblBrokerHint->setText(captions::Hint.arg(settingsPath));
    lblBrokerHint->setVisible(!publisher && problem.isEmpty());

    auto* group = new QGroupBox(captions::Group);
    auto* form = new QFormLayout(group);
    form->addRow(captions::State, lblBrokerState);
    form->addRow(captions::Waiting, lblBrokerWaiting);
    form->addRow(captions::Dropped, lblBrokerDropped);
    form->addRow(captions::Published, lblBrokerPublished);

    auto* page = new QVBoxLayout(this);
    page->addWidget(lblBrokerProblem);
    page->addWidget(group);
    page->addWidget(lblBrokerHint);
    page->addStretch();

    if (m_publisher) {
        connect(m_publisher, &site::MqttPublisher::stateChanged, this, &BrokerPanel::refresh);
        connect(&m_refresh, &QTimer::timeout, this, &BrokerPanel::refresh);
        m_refresh.setInterval(RefreshMs);
    }
    refresh();
}

void BrokerPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_publisher) {
        refresh();
        m_refresh.start();
    }
}

void BrokerPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_refresh.stop();
}

void BrokerPanel::refresh()
{
    if (!m_publisher) {
        lblBrokerState->setText(captions::Off);
        for (QLabel* count : {lblBrokerWaiting, lblBrokerDropped, lblBrokerPublished})
            count->setText(QStringLiteral("0"));
        return;
    }
    lblBrokerState->setText(
        stateText(m_publisher->state(), m_publisher->options(), m_publisher->stateReason()));
    const site::MqttCounters counts = m_publisher->counters();
    lblBrokerWaiting->setText(QString::number(counts.waiting));
    lblBrokerDropped->setText(QString::number(counts.dropped));
    lblBrokerPublished->setText(QString::number(counts.published));
}
