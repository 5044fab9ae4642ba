#include "alarms_panel.h"

#include "alarms/alarm_log.h"
#include "alarms/alarms_file.h"
#include "dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
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
    QStringLiteral("开始时间"), QStringLiteral("地址"),     QStringLiteral("通道"),
    QStringLiteral("位置"),     QStringLiteral("温度(°C)"), QStringLiteral("报警"),
    QStringLiteral("结束时间"), QStringLiteral("等级"),     QStringLiteral("峰值(°C)"),
    QStringLiteral("结束原因"), QStringLiteral("确认人"),   QStringLiteral("确认时间")};
const QString StillActive = QStringLiteral("报警中");
const QString Acknowledge = QStringLiteral("确认");
const QString AcknowledgeAll = QStringLiteral("全部确认");
const QString Export = QStringLiteral("导出CSV...");
const QString ExportTitle = QStringLiteral("导出报警记录");
const QString ExportFilter = QStringLiteral("CSV文件 (*.csv)|*.csv");
const QString ExportFailed = QStringLiteral("无法写入文件“%1”，报警记录未导出。");
} // namespace captions

enum LimitColumn { High, Low };

const QColor AlarmColour(Qt::red);
const QColor WarningColour(200, 110, 0);
const int IdRole = Qt::UserRole;

QString celsiusText(const std::optional<double>& celsius)
{
    return celsius ? QString::number(*celsius, 'f', 2) : QString();
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
    m_rules = load.rules;
    m_engine.setLimits(load.limits, m_rules);
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
    lstAlarms->setSelectionMode(QAbstractItemView::ExtendedSelection);

    cmdAckAlarm = new QPushButton(captions::Acknowledge);
    cmdAckAlarm->setObjectName(QStringLiteral("cmdAckAlarm"));
    connect(cmdAckAlarm, &QPushButton::clicked, this, &AlarmsPanel::acknowledgeSelected);
    cmdAckAllAlarms = new QPushButton(captions::AcknowledgeAll);
    cmdAckAllAlarms->setObjectName(QStringLiteral("cmdAckAllAlarms"));
    connect(cmdAckAllAlarms, &QPushButton::clicked, this, &AlarmsPanel::acknowledgeAll);
    cmdExportAlarms = new QPushButton(captions::Export);
    cmdExportAlarms->setObjectName(QStringLiteral("cmdExportAlarms"));
    connect(cmdExportAlarms, &QPushButton::clicked, this, &AlarmsPanel::exportCsv);

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
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(cmdAckAlarm);
    listButtons->addWidget(cmdAckAllAlarms);
    listButtons->addStretch();
    listButtons->addWidget(cmdExportAlarms);
    list->addLayout(listButtons);

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
    if (!alarms::saveAlarmLimits(m_folder, *entry.limits, m_rules)) {
        dialogs::MsgBox(this, alarms::unsavedAlarmsMessage(m_folder), QString(), dialogs::Icon::Warning);
        return;
    }
    m_engine.setLimits(*entry.limits, m_rules);
    showLimits(*entry.limits); // as saved: rounded to hundredths
    lblAlarmsFile->hide();
}

void AlarmsPanel::feed(const QVector<history::Reading>& batch)
{
    for (const history::Reading& r : batch)
        handle(m_engine.feed(history::alarmReading(r)));
}

void AlarmsPanel::restore(const QVector<alarms::AlarmEntry>& entries, qint64 highestId)
{
    QList<alarms::AlarmEntry> active;
    for (const alarms::AlarmEntry& entry : entries) {
        if (m_entries.count(entry.id) != 0)
            continue;
        if (entry.active())
            active.append(entry);
        else if (lstAlarms->topLevelItemCount() - m_activeCount >= MaxEndedAlarms)
            continue;
        m_entries[entry.id] = entry;
        auto* row = new QTreeWidgetItem;
        // In force at the top, ended after them, each in the order given.
        lstAlarms->insertTopLevelItem(entry.active() ? m_activeCount++ : lstAlarms->topLevelItemCount(), row);
        m_rows[entry.id] = row;
        showRow(row, entry);
    }
    m_engine.restore(active, highestId);
}

void AlarmsPanel::channelUnanswered(int station, qint64 timeMs)
{
    m_engine.channelUnanswered(station, timeMs);
}

void AlarmsPanel::roundEnded(qint64 timeMs)
{
    handle(m_engine.roundEnded(timeMs));
}

bool AlarmsPanel::inAlarm(int station, int channel, int position) const
{
    return m_engine.inAlarm({station, channel, position});
}

void AlarmsPanel::handle(const QList<alarms::AlarmNotice>& notices)
{
    for (const alarms::AlarmNotice& notice : notices) {
        listNotice(notice);
        const alarms::Sensor where{notice.station, notice.channel, notice.position};
        if (notice.channel != 0 && notice.event == alarms::AlarmNotice::Event::Started)
            Q_EMIT alarmBegan(where.station, where.channel, where.position);
        if (notice.channel != 0 && notice.event == alarms::AlarmNotice::Event::Ended &&
            !m_engine.inAlarm(where))
            Q_EMIT alarmEnded(where.station, where.channel, where.position);
        Q_EMIT noticeReady(notice);
    }
}

void AlarmsPanel::showRow(QTreeWidgetItem* row, const alarms::AlarmEntry& entry)
{
    const bool sensor = entry.where.channel != 0;
    const QStringList texts{alarms::alarmTimeText(entry.startMs),
                            QString::number(entry.where.station),
                            sensor ? QString::number(entry.where.channel) : QString(),
                            sensor ? QString::number(entry.where.position) : QString(),
                            celsiusText(entry.firstValue),
                            alarms::alarmWhatText(entry),
                            entry.active() ? captions::StillActive : alarms::alarmTimeText(entry.endMs),
                            alarms::levelText(entry.level),
                            celsiusText(entry.peak),
                            entry.endReason,
                            entry.ackedBy,
                            alarms::alarmTimeText(entry.ackedMs)};
    for (int column = 0; column < texts.size(); ++column) {
        row->setText(column, texts[column]);
        if (entry.active())
            row->setForeground(column, entry.level == alarms::AlarmNotice::Level::Alarm ? AlarmColour
                                                                                        : WarningColour);
        else
            row->setData(column, Qt::ForegroundRole, QVariant());
    }
    row->setData(0, IdRole, entry.id);
}

void AlarmsPanel::listNotice(const alarms::AlarmNotice& notice)
{
    alarms::AlarmEntry& entry = m_entries[notice.alarmId];
    alarms::applyNotice(entry, notice);
    QTreeWidgetItem*& row = m_rows[notice.alarmId];
    switch (notice.event) {
    case alarms::AlarmNotice::Event::Started:
        row = new QTreeWidgetItem;
        lstAlarms->insertTopLevelItem(0, row);
        ++m_activeCount;
        break;
    case alarms::AlarmNotice::Event::Ended:
        if (!row)
            break;
        row = lstAlarms->takeTopLevelItem(lstAlarms->indexOfTopLevelItem(row));
        --m_activeCount;
        // The newest ended alarm comes right after those in force.
        lstAlarms->insertTopLevelItem(m_activeCount, row);
        break;
    case alarms::AlarmNotice::Event::Acknowledged:
        break;
    }
    if (!row) { // an alarm restored, or one whose row was dropped
        m_rows.erase(notice.alarmId);
        return;
    }
    showRow(row, entry);
    while (lstAlarms->topLevelItemCount() - m_activeCount > MaxEndedAlarms) {
        QTreeWidgetItem* oldest = lstAlarms->takeTopLevelItem(lstAlarms->topLevelItemCount() - 1);
        const qint64 id = oldest->data(0, IdRole).toLongLong();
        m_rows.erase(id);
        m_entries.erase(id);
        delete oldest;
    }
}

void AlarmsPanel::acknowledgeSelected()
{
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (QTreeWidgetItem* row : lstAlarms->selectedItems())
        handle(m_engine.acknowledge(row->data(0, IdRole).toLongLong(), m_user, nowMs));
}

void AlarmsPanel::acknowledgeAll()
{
    handle(m_engine.acknowledgeAll(m_user, QDateTime::currentMSecsSinceEpoch()));
}

void AlarmsPanel::exportCsv()
{
    dialogs::FileDialogRequest ask;
    ask.save = true;
    ask.folder = m_folder;
    ask.fileName = QStringLiteral("alarms.csv");
    ask.filter = captions::ExportFilter;
    ask.title = captions::ExportTitle;
    ask.confirmOverwrite = true;
    const QString path = dialogs::FileDialog(this, ask);
    if (path.isEmpty())
        return;
    // In the list's order: in force first, newest first.
    QList<alarms::AlarmEntry> entries;
    for (int i = 0; i < lstAlarms->topLevelItemCount(); ++i)
        entries.append(m_entries[lstAlarms->topLevelItem(i)->data(0, IdRole).toLongLong()]);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(alarms::alarmsCsv(entries)) < 0 || !file.commit())
        dialogs::MsgBox(this, captions::ExportFailed.arg(QDir::toNativeSeparators(path)), QString(),
                        dialogs::Icon::Warning);
}
