// The history of readings: the records of each judged reply, the writer
// thread that records them, the fifth tab that charts and exports them, and
// their publishing to a broker.

#include "frmMain.h"

#include "alarms_panel.h"
#include "broker_panel.h"
#include "history_tab.h"
#include "program_folder.h"
#include "traffic_panel.h"

#include "history/history_store.h"
#include "history/history_writer.h"
#include "site/mqtt_publisher.h"
#include "site/mqtt_settings.h"
#include "site/site_record.h"
#include "traffic/traffic_recorder.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>

void frmMain::CreateHistoryTab()
{
    m_historyTab = new HistoryTab(SSTab1);
    m_historyTab->setObjectName(QStringLiteral("tabPages_4"));
    SSTab1->addTab(m_historyTab, QStringLiteral("历史数据"));
    // The record follows every request from the start; its page is made with the tab's contents.
    m_traffic = new traffic::TrafficRecorder(traffic::TrafficRing::DefaultCapacity, this);
    m_traffic->attach(m_requests);
    connect(m_historyTab, &HistoryTab::built, this, &frmMain::AddWatchPages);
}

void frmMain::AddWatchPages()
{
    m_historyTab->tabHistory->addTab(alarmsPanel(), QStringLiteral("报警"));
    m_trafficPanel = new TrafficPanel(m_traffic);
    m_trafficPanel->setObjectName(QStringLiteral("tabHistoryTraffic"));
    m_historyTab->tabHistory->addTab(m_trafficPanel, QStringLiteral("通信记录"));
    auto* broker = new BrokerPanel(m_publisher.get(), m_brokerProblem);
    broker->setObjectName(QStringLiteral("tabHistoryBroker"));
    m_historyTab->tabHistory->addTab(broker, QStringLiteral("消息代理"));
}

AlarmsPanel* frmMain::alarmsPanel()
{
    if (!m_alarmsPanel) {
        m_alarmsPanel = new AlarmsPanel(programFolder(), m_historyTab);
        m_alarmsPanel->setObjectName(QStringLiteral("tabHistoryAlarms"));
        m_alarmsPanel->hide(); // until the tab's contents take it as a page
    }
    return m_alarmsPanel;
}

void frmMain::ShowCellAlarm(QLineEdit* cell, bool inAlarm)
{
    // Only the background changes: the text colours keep their meaning.
    static const char* const property = "inAlarm";
    if (cell->property(property).toBool() == inAlarm)
        return;
    cell->setProperty(property, inAlarm);
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Base,
                     inAlarm ? QColor(255, 205, 130) : QApplication::palette(cell).color(QPalette::Base));
    cell->setPalette(palette);
    cell->setAutoFillBackground(inAlarm); // a cell narrowed to its column has no frame to paint it
}

void frmMain::WatchTemperatureReply(const acquisition::TemperatureReplyOutcome& outcome,
                                    const requests::Request& request, const site::ChannelRecords& records)
{
    using Kind = acquisition::TemperatureReplyOutcome;
    traffic::Verdict verdict = traffic::Verdict::NoReply;
    if (outcome.kind == Kind::Decode)
        verdict = outcome.bytes.size() < request.replyLength ? traffic::Verdict::CutShort
                                                             : traffic::Verdict::Decoded;
    else if (outcome.kind == Kind::Flag)
        verdict = traffic::verdictOfNote(outcome.note);
    m_traffic->noteVerdict(request, verdict);
    if (m_publisher)
        m_publisher->publishRecords(records);

    const QVector<history::Reading>& readings = records.readings;
    if (readings.isEmpty())
        return;
    AlarmsPanel* alarms = alarmsPanel();
    alarms->feed(readings);
    const QVector<QLineEdit*>& cells = valueCells(request.context.channel);
    for (int k = 0; k < readings.size() && k < cells.size(); ++k) {
        const history::Reading& r = readings[k];
        ShowCellAlarm(cells[k], alarms->inAlarm(r.station, r.channel, r.position));
    }
}

void frmMain::LoadHistorySettings()
{
    const QString folder = programFolder();
    const history::HistorySetLoad load = history::loadHistorySet(folder);
    m_historySettings = load.values;
    const QString path = history::HistoryStore::pathIn(folder);
    m_historyTab->setSource(path, DefaultAddress, ChannelCount, SensorsPerChannel);
    const QString every =
        m_historySettings.intervalSeconds == 0
            ? QStringLiteral("记录每一次读数")
            : QStringLiteral("每个传感器每 %1 秒记录一次").arg(m_historySettings.intervalSeconds);
    m_historyTab->setStateText(QStringLiteral("历史数据保存在 %1（%2，保留 %3 天）")
                                   .arg(QDir::toNativeSeparators(path), every)
                                   .arg(m_historySettings.retentionDays));
    if (load.status == config::SettingsLoad::Unreadable)
        m_historyTab->showProblem(load.errorText);
}

site::ChannelRecords frmMain::RecordsOf(const acquisition::TemperatureReplyOutcome& outcome,
                                        const requests::Request& request) const
{
    return site::channelRecords(outcome, request, SensorsPerChannel, QDateTime::currentMSecsSinceEpoch());
}

void frmMain::LoadBrokerSettings()
{
    const site::MqttSetLoad load = site::loadMqttSet(programFolder());
    if (load.status == config::SettingsLoad::Unreadable) {
        m_brokerProblem = load.errorText;
        return;
    }
    if (load.status == config::SettingsLoad::Missing)
        return;
    m_publisher = std::make_unique<site::MqttPublisher>(load.options);
    if (const QString problem = m_publisher->start(); !problem.isEmpty()) {
        m_publisher.reset();
        m_brokerProblem = QStringLiteral("消息代理设置文件 %1 的设置无法使用（%2），读数未发布到消息代理")
                              .arg(load.path, problem);
    }
}

void frmMain::RecordReadings(const QVector<history::Reading>& readings)
{
    if (readings.isEmpty())
        return;
    if (!m_historyRecorder) {
        m_historyRecorder = std::make_unique<history::HistoryRecorder>(
            history::HistoryStore::pathIn(programFolder()), m_historySettings);
        // Said once by the recorder; reading goes on without the history.
        connect(m_historyRecorder.get(), &history::HistoryRecorder::failed, m_historyTab,
                &HistoryTab::showProblem);
        connect(m_historyRecorder.get(), &history::HistoryRecorder::recorded, m_historyTab,
                &HistoryTab::followRecorded);
    }
    m_historyRecorder->record(readings);
}
