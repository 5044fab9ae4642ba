#include "alarms_panel.h"

#include "alarms/alarms_file.h"
#include "dialogs.h"

#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Every text the panel shows of its own.
namespace captions {
const QString LimitsGroup = QStringLiteral("报警限值");
const QString Celsius = QStringLiteral("°C");
const QString InCelsius = QStringLiteral("(°C)");
const QString CelsiusPerDay = QStringLiteral("°C/天");
const QString ChannelLimits = QStringLiteral("各通道限值（空白：用上面的限值）");
const QString ChannelRow = QStringLiteral("通道%1");
const QString Save = QStringLiteral("保存");
const QString AlarmsGroup = QStringLiteral("报警记录");
const QStringList AlarmColumns = {
    QStringLiteral("开始时间"), QStringLiteral("地址"), QStringLiteral("通道"),    QStringLiteral("位置"),
    QStringLiteral("温度(°C)"), QStringLiteral("报警"), QStringLiteral("结束时间")};
const QString StillActive = QStringLiteral("报警中");
} // namespace captions

enum AlarmColumn { Began, Station, Channel, Position, Value, Kind, Ended };
enum LimitColumn { High, Low };

const QColor ActiveColour(Qt::red);

QString timeText(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QLineEdit* limitBox(const QString& objectName)
{
    auto* box = new QLineEdit;
    box->setObjectName(objectName);
    box->setMaximumWidth(80);
    return box;
}

// The box with its unit after it, for a form row.
QWidget* withUnit(QLineEdit* box, const QString& unit)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
    layout->addWidget(new QLabel(unit));
    layout->addStretch();
    return row;
}

} // namespace

AlarmsPanel::AlarmsPanel(const QString& programFolder, QWidget* parent)
    : QWidget(parent), m_folder(programFolder)
{
    buildControls();
    const alarms::AlarmsLoad load = alarms::loadAlarmLimits(m_folder);
    if (load.status == alarms::AlarmsLoad::Unreadable) {
        const QString message = alarms::unreadableAlarmsMessage(load);
        lblAlarmsFile->setText(message);
        lblAlarmsFile->show();
        dialogs::MsgBox(this, message, QString(), dialogs::Icon::Warning);
    }
    m_tracker.setLimits(load.limits);
    showLimits(load.limits);
}

void AlarmsPanel::buildControls()
{
    txtAlarmHigh = limitBox(QStringLiteral("txtAlarmHigh"));
    txtAlarmLow = limitBox(QStringLiteral("txtAlarmLow"));
    txtAlarmRise = limitBox(QStringLiteral("txtAlarmRise"));

    tblChannelLimits = new QTableWidget(protocol::MaxChannelsPerModule, 2);
    tblChannelLimits->setObjectName(QStringLiteral("tblChannelLimits"));
    tblChannelLimits->setHorizontalHeaderLabels(
        {alarms::highCaption() + captions::InCelsius, alarms::lowCaption() + captions::InCelsius});
    QStringList rows;
    for (int channel = 1; channel <= protocol::MaxChannelsPerModule; ++channel)
        rows << captions::ChannelRow.arg(channel);
    tblChannelLimits->setVerticalHeaderLabels(rows);
    tblChannelLimits->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblChannelLimits->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tblChannelLimits->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every channel's row in view, and no room below the last.
    QHeaderView* rowHeader = tblChannelLimits->verticalHeader();
    rowHeader->setDefaultSectionSize(fontMetrics().height() + 8);
    tblChannelLimits->setFixedHeight(tblChannelLimits->horizontalHeader()->sizeHint().height() +
                                     protocol::MaxChannelsPerModule * rowHeader->defaultSectionSize() +
                                     2 * tblChannelLimits->frameWidth());

    cmdSaveAlarmLimits = new QPushButton(captions::Save);
    cmdSaveAlarmLimits->setObjectName(QStringLiteral("cmdSaveAlarmLimits"));
    connect(cmdSaveAlarmLimits, &QPushButton::clicked, this, &AlarmsPanel::cmdSaveAlarmLimits_Click);

    lblAlarmsFile = new QLabel;
    lblAlarmsFile->setObjectName(QStringLiteral("lblAlarmsFile"));
    lblAlarmsFile->setWordWrap(true);
    lblAlarmsFile->setStyleSheet(QStringLiteral("color: red"));
    lblAlarmsFile->hide();

    lstAlarms = new QTreeWidget;
    lstAlarms->setObjectName(QStringLiteral("lstAlarms"));
    lstAlarms->setRootIsDecorated(false);
    lstAlarms->setUniformRowHeights(true);
    lstAlarms->setHeaderLabels(captions::AlarmColumns);
    lstAlarms->header()->setStretchLastSection(false);
    lstAlarms->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* installation = new QFormLayout;
    installation->addRow(alarms::highCaption(), withUnit(txtAlarmHigh, captions::Celsius));
    installation->addRow(alarms::lowCaption(), withUnit(txtAlarmLow, captions::Celsius));
    installation->addRow(alarms::riseCaption(), withUnit(txtAlarmRise, captions::CelsiusPerDay));

    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch();
    saveRow->addWidget(cmdSaveAlarmLimits);

    auto* limitsGroup = new QGroupBox(captions::LimitsGroup);
    // Narrow: the limits need little room, the list of alarms all it can get.
    limitsGroup->setFixedWidth(320);
    auto* limits = new QVBoxLayout(limitsGroup);
    limits->addLayout(installation);
    limits->addWidget(new QLabel(captions::ChannelLimits));
    limits->addWidget(tblChannelLimits);
    limits->addWidget(lblAlarmsFile);
    limits->addStretch();
    limits->addLayout(saveRow);

    auto* alarmsGroup = new QGroupBox(captions::AlarmsGroup);
    auto* list = new QVBoxLayout(alarmsGroup);
    list->addWidget(lstAlarms);

    auto* page = new QHBoxLayout(this);
    page->addWidget(limitsGroup);
    page->addWidget(alarmsGroup, 1);
}

alarms::LimitTexts AlarmsPanel::limitTexts() const
{
    alarms::LimitTexts texts;
    texts.high = txtAlarmHigh->text();
    texts.low = txtAlarmLow->text();
    texts.risePerDay = txtAlarmRise->text();
    for (int row = 0; row < tblChannelLimits->rowCount(); ++row) {
        texts.channelHigh[std::size_t(row)] = tblChannelLimits->item(row, High)->text();
        texts.channelLow[std::size_t(row)] = tblChannelLimits->item(row, Low)->text();
    }
    return texts;
}

void AlarmsPanel::showLimits(const alarms::AlarmLimits& limits)
{
    txtAlarmHigh->setText(alarms::formatLimit(limits.installation.high));
    txtAlarmLow->setText(alarms::formatLimit(limits.installation.low));
    txtAlarmRise->setText(alarms::formatLimit(limits.risePerDay));
    for (int row = 0; row < tblChannelLimits->rowCount(); ++row) {
        const alarms::HighLow& own = limits.channels[std::size_t(row)];
        tblChannelLimits->setItem(row, High, new QTableWidgetItem(alarms::formatLimit(own.high)));
        tblChannelLimits->setItem(row, Low, new QTableWidgetItem(alarms::formatLimit(own.low)));
    }
}

void AlarmsPanel::cmdSaveAlarmLimits_Click()
{
    const alarms::LimitEntry entry = alarms::checkLimitTexts(limitTexts());
    if (!entry.limits) {
        dialogs::MsgBox(this, entry.message, QString(), dialogs::Icon::Warning);
        return;
    }
    // The limits in force are always those in the file: one not written is not used either.
    if (!alarms::saveAlarmLimits(m_folder, *entry.limits)) {
        dialogs::MsgBox(this, alarms::unsavedAlarmsMessage(m_folder), QString(), dialogs::Icon::Warning);
        return;
    }
    m_tracker.setLimits(*entry.limits);
    showLimits(*entry.limits); // as saved: rounded to hundredths
    lblAlarmsFile->hide();
}

void AlarmsPanel::feed(const QVector<history::Reading>& batch)
{
    for (const history::Reading& reading : batch) {
        const alarms::SensorValue value{
            {reading.station, reading.channel, reading.position}, reading.timeMs, reading.celsius};
        const std::optional<alarms::EarlierValue> earlier = m_baselines.earlier(value.sensor, value.timeMs);
        m_baselines.add(value);
        for (const alarms::AlarmEvent& event : m_tracker.feed(value, earlier))
            listEvent(event);
    }
}

bool AlarmsPanel::inAlarm(int station, int channel, int position) const
{
    return m_tracker.inAlarm({station, channel, position});
}

void AlarmsPanel::listEvent(const alarms::AlarmEvent& event)
{
    const alarms::Alarm& alarm = event.alarm;
    const alarms::Sensor& sensor = alarm.sensor;
    if (event.kind == alarms::AlarmEvent::Began) {
        auto* row = new QTreeWidgetItem(QStringList{
            timeText(alarm.sinceMs), QString::number(sensor.station), QString::number(sensor.channel),
            QString::number(sensor.position), QString::number(alarm.celsius, 'f', 2),
            alarms::limitText(alarm.limit), captions::StillActive});
        for (int column = 0; column < row->columnCount(); ++column)
            row->setForeground(column, ActiveColour);
        lstAlarms->insertTopLevelItem(0, row);
        m_activeRows[sensor] = row;
        Q_EMIT alarmBegan(sensor.station, sensor.channel, sensor.position);
        return;
    }

    const auto active = m_activeRows.find(sensor);
    if (active == m_activeRows.end())
        return;
    QTreeWidgetItem* row = lstAlarms->takeTopLevelItem(lstAlarms->indexOfTopLevelItem(active->second));
    m_activeRows.erase(active);
    row->setText(Ended, timeText(event.timeMs));
    for (int column = 0; column < row->columnCount(); ++column)
        row->setData(column, Qt::ForegroundRole, QVariant());
    // The newest ended alarm comes right after those in force.
    lstAlarms->insertTopLevelItem(int(m_activeRows.size()), row);
    while (lstAlarms->topLevelItemCount() - int(m_activeRows.size()) > MaxEndedAlarms)
        delete lstAlarms->takeTopLevelItem(lstAlarms->topLevelItemCount() - 1);
    Q_EMIT alarmEnded(sensor.station, sensor.channel, sensor.position);
}
