// The fifth tab "历史数据" and its pages: the history's chart and export, the
// alarms, the traffic record, the broker and the alarms' delivery; what the
// outlet (history and publishing) says is shown there.

#include "main_window.h"

#include "alarms_panel.h"
#include "broker_panel.h"
#include "history_tab.h"
#include "notify_panel.h"
#include "program_folder.h"
#include "traffic_panel.h"

#include "history/history_store.h"
#include "history/history_writer.h"
#include "notify/alarm_delivery.h"
#include "site/mqtt_publisher.h"
#include "site/mqtt_settings.h"
#include "site/site_record.h"
#include "traffic/traffic_recorder.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

void MainWindow::createHistoryTab()
{
    m_historyTab = new HistoryTab(SSTab1);
    m_historyTab->setObjectName(QStringLiteral("tabPages_4"));
    SSTab1->addTab(m_historyTab, QStringLiteral("历史数据"));
    // The record follows every request from the start; its page is made with the tab's contents.
    m_traffic = new traffic::TrafficRecorder(traffic::TrafficRing::DefaultCapacity, this);
    m_traffic->attach(m_requests);
    connect(m_historyTab, &HistoryTab::built, this, &MainWindow::addWatchPages);
}

void MainWindow::addWatchPages()
{
    m_historyTab->tabHistory->addTab(alarmsPanel(), QStringLiteral("报警"));
    m_trafficPanel = new TrafficPanel(m_traffic);
    m_trafficPanel->setObjectName(QStringLiteral("tabHistoryTraffic"));
    m_historyTab->tabHistory->addTab(m_trafficPanel, QStringLiteral("通信记录"));
    connect(m_trafficPanel, &TrafficPanel::lineTestClicked, this, &MainWindow::startLineTest);
    connect(m_trafficPanel, &TrafficPanel::stopLineTestClicked, m_lineTest, &acquisition::LineTest::stop);
    connect(m_lineTest, &acquisition::LineTest::progress, m_trafficPanel, &TrafficPanel::showLineTestProgress);
    connect(m_lineTest, &acquisition::LineTest::finished, m_trafficPanel,
            [this](const acquisition::LineTestFigures& figures, bool complete) {
                m_trafficPanel->showLineTestFigures(acquisition::lineTestText(figures, !complete));
            });
    auto* broker = new BrokerPanel(
        m_outlet->publisher(), m_outlet->brokerProblem(),
        QDir::toNativeSeparators(config::settingsFilePath(programFolder(), site::kMqttSetName)));
    broker->setObjectName(QStringLiteral("tabHistoryBroker"));
    m_historyTab->tabHistory->addTab(broker, QStringLiteral("消息代理"));
    auto* notifyPage = new NotifyPanel(programFolder(), m_alarmDelivery.get(), m_notifyProblem);
    notifyPage->setObjectName(QStringLiteral("tabHistoryNotify"));
    m_historyTab->tabHistory->addTab(notifyPage, QStringLiteral("通知"));
}

AlarmsPanel* MainWindow::alarmsPanel()
{
    if (!m_alarmsPanel) {
        m_alarmsPanel = new AlarmsPanel(programFolder(), m_historyTab);
        m_alarmsPanel->setObjectName(QStringLiteral("tabHistoryAlarms"));
        m_alarmsPanel->setUser(m_loggedInUser);
        restoreAlarms();
        // Each alarm event is recorded and, when notify.set asks for it, sent to people.
        connect(m_alarmsPanel, &AlarmsPanel::noticeReady, this, [this](const alarms::AlarmNotice& notice) {
            m_outlet->recordAlarms({notice});
            if (m_alarmDelivery)
                m_alarmDelivery->deliver(notice);
        });
        m_alarmsPanel->hide(); // until the tab's contents take it as a page
    }
    return m_alarmsPanel;
}

void MainWindow::restoreAlarms()
{
    const QString path = m_outlet->databasePath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    // A few hundred rows, once: read here, before the first reading is judged.
    history::HistoryStore store(path, 1000);
    const std::optional<QVector<alarms::AlarmEntry>> entries =
        store.recentAlarms(AlarmsPanel::MaxEndedAlarms);
    const std::optional<qint64> highestId = store.highestAlarmId();
    // A database that cannot be used is said once, by the writer, as readings are recorded.
    if (entries && highestId)
        m_alarmsPanel->restore(*entries, *highestId);
}

void MainWindow::setLoggedInUser(const QString& user)
{
    m_loggedInUser = user;
    if (m_alarmsPanel)
        m_alarmsPanel->setUser(user);
}

void MainWindow::showCellAlarm(QLineEdit* cell, bool inAlarm)
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
    // A cell narrowed to its column has no frame to paint the background: it
    // fills it itself, in alarm or not (filled, a reading repaints the cell alone).
    cell->setAutoFillBackground(inAlarm || !cell->hasFrame());
}

void MainWindow::watchReadings(int channel, const QVector<history::Reading>& readings)
{
    if (readings.isEmpty())
        return;
    AlarmsPanel* alarms = alarmsPanel();
    alarms->feed(readings);
    const QVector<QLineEdit*>& cells = valueCells(channel);
    for (int k = 0; k < readings.size() && k < cells.size(); ++k) {
        const history::Reading& r = readings[k];
        showCellAlarm(cells[k], alarms->inAlarm(r.station, r.channel, r.position));
    }
}

void MainWindow::loadOutlet()
{
    m_outlet->load(programFolder());
    // The alarms' delivery, when notify.set asks for it; it publishes to the outlet's broker too.
    const notify::NotifySetLoad notifySet =
        notify::loadNotifySet(config::settingsFilePath(programFolder(), notify::kNotifySetName));
    m_notifyProblem = notifySet.errorText;
    if (notifySet.status == notify::NotifySetLoad::Ok) {
        m_alarmDelivery = std::make_unique<notify::AlarmDelivery>(notifySet.settings);
        m_alarmDelivery->setMqttPublisher(m_outlet->publisher());
        if (const QString problem = m_alarmDelivery->start(); !problem.isEmpty()) {
            m_notifyProblem = QStringLiteral("通知设置文件 %1：%2，报警不会发出").arg(notifySet.path, problem);
            m_alarmDelivery.reset();
        }
    }
    const history::HistorySettings& settings = m_outlet->historySettings();
    const QString path = m_outlet->databasePath();
    m_historyTab->setSource(path, m_defaultAddress, m_channelCount, m_sensorsPerChannel);
    m_historyTab->setRecordInterval(settings.intervalSeconds);
    const QString every = settings.intervalSeconds == 0
                              ? QStringLiteral("记录每一次读数")
                              : QStringLiteral("每个传感器每 %1 秒记录一次").arg(settings.intervalSeconds);
    m_historyTab->setStateText(QStringLiteral("历史数据保存在 %1（%2，保留 %3 天）")
                                   .arg(QDir::toNativeSeparators(path), every)
                                   .arg(settings.retentionDays));
    if (!m_outlet->historySetProblem().isEmpty())
        m_historyTab->showProblem(m_outlet->historySetProblem());
    // Said once per outage by the writer; reading goes on meanwhile.
    connect(m_outlet.get(), &site::ReadingsOutlet::historyFailed, m_historyTab, &HistoryTab::showRecorderFailure);
    connect(m_outlet.get(), &site::ReadingsOutlet::historyRecovered, m_historyTab,
            &HistoryTab::showRecorderRecovered);
    connect(m_outlet.get(), &site::ReadingsOutlet::recorded, m_historyTab, &HistoryTab::followRecorded);
}
