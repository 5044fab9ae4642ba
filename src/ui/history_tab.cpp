#include "history_tab.h"

#include "dialogs.h"
#include "program_folder.h"

#include "history/csv_export.h"
#include "history/history_settings.h"
#include "history/history_writer.h"

#include <QChart>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Captions and sizes of the tab, in one place.
constexpr const char* kTrendPageCaption = "趋势与导出";
constexpr const char* kRangeCaptions[] = {"最近1小时", "最近1天", "最近1周", "自定义"};
constexpr qint64 kHourMs = 3600 * 1000LL;
constexpr qint64 kRangeSpansMs[] = {kHourMs, 24 * kHourMs, 7 * 24 * kHourMs};
constexpr int kChoicesWidth = 240;      // pixels, the column of choices left of the chart
constexpr int kFirstPositionsShown = 4; // positions chosen at first
// About two points per pixel of a full-width chart: more cannot be seen.
constexpr int kMaxPointsPerLine = 2000;
// A sensor whose points lie this far apart on average (pixels, across the
// chart's width) shows each of them as a marker; closer ones would merge into a
// thick line, and only lone readings get one.
constexpr qreal kMarkedPointsSpacing = 16;
constexpr qreal kMarkerSize = 5; // pixels
// Room for a tick's label (pixels): "HH:mm:ss" or "HH:mm" along the time axis,
// "MM-dd HH:mm" over more than a day, a line of text up the °C axis.
constexpr int kTimeTickRoom = 60;
constexpr int kDatedTimeTickRoom = 100;
constexpr int kValueTickRoom = 40;
constexpr const char* kNoDataTitle = "无数据";
constexpr int kRefreshDelayMs = 150;
constexpr int kFollowRequeryMs = 1000;      // at most one query a second while following
constexpr int kExportProgressAfterMs = 500; // short exports show no progress dialog
constexpr qreal kWheelZoom = 1.25;
constexpr const char* kTimeFormat = "yyyy-MM-dd HH:mm:ss";

qint64 spanOf(int range)
{
    return range >= 0 && range < HistoryTab::Custom ? kRangeSpansMs[range] : 0;
}
} // namespace

QString exportFileName(int station, int channel, const QDate& date)
{
    return QStringLiteral("温度记录_站%1_通道%2_%3.csv")
        .arg(station)
        .arg(channel)
        .arg(date.toString(QStringLiteral("yyyy-MM-dd")));
}

// ---- The chart view

TrendChartView::TrendChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent)
{
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
    setFocusPolicy(Qt::StrongFocus);
}

void TrendChartView::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return QChartView::wheelEvent(event);
    chart()->zoom(delta > 0 ? kWheelZoom : 1 / kWheelZoom);
    event->accept();
    emit viewChanged();
}

void TrendChartView::keyPressEvent(QKeyEvent* event)
{
    const qreal stepX = chart()->plotArea().width() / 10;
    const qreal stepY = chart()->plotArea().height() / 10;
    switch (event->key()) {
    case Qt::Key_Left:
        chart()->scroll(-stepX, 0);
        break;
    case Qt::Key_Right:
        chart()->scroll(stepX, 0);
        break;
    case Qt::Key_Up:
        chart()->scroll(0, stepY);
        break;
    case Qt::Key_Down:
        chart()->scroll(0, -stepY);
        break;
    case Qt::Key_Plus:
        chart()->zoom(kWheelZoom);
        break;
    case Qt::Key_Minus:
        chart()->zoom(1 / kWheelZoom);
        break;
    default:
        return QChartView::keyPressEvent(event);
    }
    event->accept();
    emit viewChanged();
}

void TrendChartView::mousePressEvent(QMouseEvent* event)
{
    const bool pan = event->button() == Qt::MiddleButton ||
                     (event->button() == Qt::LeftButton && event->modifiers() & Qt::ControlModifier);
    if (!pan)
        return QChartView::mousePressEvent(event);
    m_panning = true;
    m_panFrom = event->position().toPoint();
    event->accept();
}

void TrendChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_panning)
        return QChartView::mouseMoveEvent(event);
    const QPoint at = event->position().toPoint();
    const QPoint moved = at - m_panFrom;
    chart()->scroll(-moved.x(), moved.y());
    m_panFrom = at;
    event->accept();
}

void TrendChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panning) {
        m_panning = false;
        event->accept();
        emit viewChanged();
        return;
    }
    QChartView::mouseReleaseEvent(event);
    // The rubber band zoomed in, or the right button zoomed out.
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        emit viewChanged();
}

// ---- The tab

HistoryTab::HistoryTab(QWidget* parent)
    : QWidget(parent), m_intervalMs(history::HistorySettings{}.intervalSeconds * 1000LL)
{
    auto* layout = new QVBoxLayout(this);
    lblHistoryState = new QLabel(this);
    lblHistoryState->setObjectName(QStringLiteral("lblHistoryState"));
    lblHistoryState->setWordWrap(true);
    lblHistoryState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblHistoryState);
}

HistoryTab::~HistoryTab() = default;

void HistoryTab::setSource(const QString& databasePath, int station, int channelCount,
                           int positionsPerChannel)
{
    m_databasePath = databasePath;
    m_station = station;
    m_channelCount = std::max(channelCount, 1);
    m_positionsPerChannel = std::max(positionsPerChannel, 1);
    m_queries.reset(); // its store is of the old database
    if (isBuilt()) {
        fillChoices();
        RefreshTrend();
    }
}

void HistoryTab::setRecordInterval(int seconds)
{
    m_intervalMs = std::max(seconds, 0) * 1000LL;
}

void HistoryTab::setStateText(const QString& text)
{
    m_stateText = text;
    showState();
}

void HistoryTab::showProblem(const QString& text)
{
    if (text.isEmpty() || m_problems.contains(text))
        return;
    m_problems.append(text);
    showState();
}

void HistoryTab::showRecorderFailure(const QString& text)
{
    m_recorderProblem = text;
    m_recorderNote.clear();
    showState();
}

void HistoryTab::showRecorderRecovered(qint64 droppedRows)
{
    m_recorderProblem.clear();
    m_recorderNote = history::recoveredText(droppedRows);
    showState();
}

void HistoryTab::showState()
{
    QStringList problems = m_problems;
    if (!m_recorderProblem.isEmpty())
        problems.append(m_recorderProblem);
    if (problems.isEmpty()) {
        lblHistoryState->setText(m_recorderNote.isEmpty() ? m_stateText
                                                          : m_stateText + QLatin1Char('\n') + m_recorderNote);
        lblHistoryState->setStyleSheet(QString());
    } else {
        lblHistoryState->setText(problems.join(QLatin1Char('\n')));
        lblHistoryState->setStyleSheet(QStringLiteral("color: #c00000;"));
    }
}

void HistoryTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ensureBuilt();
}

void HistoryTab::ensureBuilt()
{
    if (isBuilt())
        return;
    tabHistory = new QTabWidget(this);
    tabHistory->setObjectName(QStringLiteral("tabHistory"));
    tabHistoryTrend = buildTrendPage();
    tabHistory->addTab(tabHistoryTrend, QString::fromUtf8(kTrendPageCaption));
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, tabHistory, 1);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    connect(m_refreshTimer, &QTimer::timeout, this, &HistoryTab::RefreshTrend);
    fillChoices();
    RefreshTrend();
    Q_EMIT built();
}

QWidget* HistoryTab::buildTrendPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabHistoryTrend"));
    const auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };

    auto* choices = new QFormLayout;
    spnTrendStation = named(new QSpinBox(page), "spnTrendStation");
    spnTrendStation->setRange(1, 255);
    choices->addRow(QStringLiteral("设备地址"), spnTrendStation);
    cboTrendChannel = named(new QComboBox(page), "cboTrendChannel");
    choices->addRow(QStringLiteral("通道号"), cboTrendChannel);
    lstTrendPositions = named(new QListWidget(page), "lstTrendPositions");
    lstTrendPositions->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstTrendPositions->setToolTip(QStringLiteral("按住Ctrl或Shift可选择多个位置"));
    choices->addRow(QStringLiteral("位置"), lstTrendPositions);
    cboTrendRange = named(new QComboBox(page), "cboTrendRange");
    for (const char* caption : kRangeCaptions)
        cboTrendRange->addItem(QString::fromUtf8(caption));
    choices->addRow(QStringLiteral("时间范围"), cboTrendRange);
    const QDateTime now = QDateTime::currentDateTime();
    dtpTrendFrom = named(new QDateTimeEdit(now.addDays(-1), page), "dtpTrendFrom");
    dtpTrendTo = named(new QDateTimeEdit(now, page), "dtpTrendTo");
    for (QDateTimeEdit* edit : {dtpTrendFrom, dtpTrendTo}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false); // only for 自定义
    }
    choices->addRow(QStringLiteral("从"), dtpTrendFrom);
    choices->addRow(QStringLiteral("到"), dtpTrendTo);
    cmdTrendReset = named(new QPushButton(QStringLiteral("复位缩放"), page), "cmdTrendReset");
    cmdTrendReset->setToolTip(QStringLiteral("拖动框选放大，滚轮缩放，中键或Ctrl+拖动、方向键平移"));
    choices->addRow(cmdTrendReset);
    cmdExportCsv = named(new QPushButton(QStringLiteral("导出CSV..."), page), "cmdExportCsv");
    choices->addRow(cmdExportCsv);

    auto* choicesBox = new QWidget(page);
    choicesBox->setLayout(choices);
    choicesBox->setFixedWidth(kChoicesWidth);

    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignRight);
    m_timeAxis = new QDateTimeAxis(chart);
    m_timeAxis->setTitleText(QStringLiteral("时间"));
    m_valueAxis = new QValueAxis(chart);
    m_valueAxis->setTitleText(QStringLiteral("温度(°C)"));
    m_valueAxis->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    chart->addAxis(m_valueAxis, Qt::AlignLeft);
    chartTrend = named(new TrendChartView(chart, page), "chartTrend");
    lblTrendPoint = named(new QLabel(chartTrend), "lblTrendPoint");
    lblTrendPoint->setStyleSheet(
        QStringLiteral("background: #ffffe1; border: 1px solid #808080; padding: 1px 3px;"));
    lblTrendPoint->hide();

    auto* row = new QHBoxLayout(page);
    row->addWidget(choicesBox);
    row->addWidget(chartTrend, 1);

    connect(spnTrendStation, QOverload<int>::of(&QSpinBox::valueChanged), this, &HistoryTab::choicesChanged);
    connect(cboTrendChannel, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &HistoryTab::choicesChanged);
    connect(lstTrendPositions, &QListWidget::itemSelectionChanged, this, &HistoryTab::choicesChanged);
    connect(cboTrendRange, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int range) {
        if (range == Custom && m_range != Custom) {
            // 自定义 starts from the "last ..." range, up to now.
            const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
            const QSignalBlocker blockFrom(dtpTrendFrom);
            const QSignalBlocker blockTo(dtpTrendTo);
            dtpTrendFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(nowMs - spanOf(m_range)));
            dtpTrendTo->setDateTime(QDateTime::fromMSecsSinceEpoch(nowMs));
        }
        m_range = range;
        dtpTrendFrom->setEnabled(range == Custom);
        dtpTrendTo->setEnabled(range == Custom);
        choicesChanged();
    });
    connect(dtpTrendFrom, &QDateTimeEdit::dateTimeChanged, this, &HistoryTab::choicesChanged);
    connect(dtpTrendTo, &QDateTimeEdit::dateTimeChanged, this, &HistoryTab::choicesChanged);
    connect(cmdTrendReset, &QPushButton::clicked, this, &HistoryTab::cmdTrendReset_Click);
    connect(cmdExportCsv, &QPushButton::clicked, this, &HistoryTab::cmdExportCsv_Click);
    connect(chartTrend, &TrendChartView::viewChanged, this, [this] { m_userView = true; });
    // A wider or narrower chart has room for more or fewer time ticks.
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        if (m_userView || m_ticket == 0 || timeTicksRoom() == m_timeTicksFitted)
            return;
        fitAxes();
        for (const SensorLine& sensor : qAsConst(m_lines))
            markPoints(sensor);
    });
    return page;
}

void HistoryTab::fillChoices()
{
    const QSignalBlocker blockStation(spnTrendStation);
    const QSignalBlocker blockChannel(cboTrendChannel);
    const QSignalBlocker blockPositions(lstTrendPositions);
    spnTrendStation->setValue(m_station);
    cboTrendChannel->clear();
    for (int channel = 1; channel <= m_channelCount; ++channel)
        cboTrendChannel->addItem(QString::number(channel), channel);
    lstTrendPositions->clear();
    for (int position = 1; position <= m_positionsPerChannel; ++position) {
        auto* item = new QListWidgetItem(QStringLiteral("%1#").arg(position), lstTrendPositions);
        item->setData(Qt::UserRole, position);
        item->setSelected(position <= kFirstPositionsShown);
    }
}

void HistoryTab::choicesChanged()
{
    m_refreshTimer->start(kRefreshDelayMs);
}

history::ReadingQuery HistoryTab::chosenQuery(qint64 nowMs) const
{
    history::ReadingQuery query;
    if (!isBuilt())
        return query;
    query.station = spnTrendStation->value();
    query.channel = cboTrendChannel->currentData().toInt();
    for (int row = 0; row < lstTrendPositions->count(); ++row) {
        if (lstTrendPositions->item(row)->isSelected())
            query.positions.append(lstTrendPositions->item(row)->data(Qt::UserRole).toInt());
    }
    const int range = cboTrendRange->currentIndex();
    if (range == Custom) {
        query.fromMs = dtpTrendFrom->dateTime().toMSecsSinceEpoch();
        query.toMs = dtpTrendTo->dateTime().toMSecsSinceEpoch();
    } else {
        query.toMs = nowMs;
        query.fromMs = nowMs - spanOf(range);
    }
    return query;
}

void HistoryTab::RefreshTrend()
{
    if (!isBuilt() || m_databasePath.isEmpty())
        return;
    m_refreshTimer->stop();
    if (!m_queries) {
        m_queries = std::make_unique<history::TrendQueries>(m_databasePath);
        connect(m_queries.get(), &history::TrendQueries::answered, this, &HistoryTab::showTrend);
    }
    m_shown = chosenQuery(QDateTime::currentMSecsSinceEpoch());
    showShownRange();
    m_answerAwaited = true;
    m_recordedMeanwhile = false;
    m_queries->ask(++m_ticket, m_shown, kMaxPointsPerLine, m_intervalMs);
}

void HistoryTab::showShownRange()
{
    if (cboTrendRange->currentIndex() == Custom)
        return;
    const QSignalBlocker blockFrom(dtpTrendFrom);
    const QSignalBlocker blockTo(dtpTrendTo);
    dtpTrendFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(m_shown.fromMs));
    dtpTrendTo->setDateTime(QDateTime::fromMSecsSinceEpoch(m_shown.toMs));
}

void HistoryTab::showTrend(int ticket, const history::TrendLines& answer)
{
    if (ticket != m_ticket)
        return; // a newer query is on its way
    m_answerAwaited = false;
    m_answerFailed = !answer.ok;
    QChart* chart = chartTrend->chart();
    chart->removeAllSeries();
    m_lines.clear();
    lblTrendPoint->hide();
    for (const history::TrendLine& line : answer.lines) {
        SensorLine& sensor = m_lines[line.position];
        sensor.gapMs = line.gapMs;
        sensor.gapFromReadings = line.readings >= 3;
        addRun(line.position, sensor, line.runs.value(0));
        for (qsizetype run = 1; run < line.runs.size(); ++run)
            addRun(line.position, sensor, line.runs[run]);
        markPoints(sensor);
    }
    showTitle(answer.ok ? QString() : answer.errorText);
    m_userView = false;
    fitAxes();
    emit trendShown();
    // The answer may or may not hold what was recorded while it was on its way: ask again.
    if (m_recordedMeanwhile && cboTrendRange->currentIndex() != Custom)
        m_refreshTimer->start(kFollowRequeryMs);
}

QLineSeries* HistoryTab::addRun(int position, SensorLine& sensor, const QList<QPointF>& points)
{
    auto* series = new QLineSeries;
    series->setName(QStringLiteral("%1#").arg(position));
    series->replace(points);
    series->setMarkerSize(kMarkerSize);
    QChart* chart = chartTrend->chart();
    chart->addSeries(series); // the first run takes the next colour of the chart's theme
    if (!sensor.runs.isEmpty()) {
        series->setColor(sensor.runs.constFirst()->color());
        for (QLegendMarker* marker : chart->legend()->markers(series))
            marker->setVisible(false);
    }
    series->attachAxis(m_timeAxis);
    series->attachAxis(m_valueAxis);
    connect(series, &QLineSeries::hovered, this,
            [this, series](const QPointF& point, bool hovering) { showPointNear(series, point, hovering); });
    sensor.runs.append(series);
    return series;
}

void HistoryTab::markPoints(const SensorLine& sensor) const
{
    qsizetype points = 0;
    for (const QLineSeries* run : sensor.runs)
        points += run->count();
    const bool sparse = qreal(points) * kMarkedPointsSpacing <= chartTrend->chart()->plotArea().width();
    for (QLineSeries* run : sensor.runs)
        run->setPointsVisible(sparse || run->count() == 1);
}

void HistoryTab::showTitle(const QString& errorText)
{
    bool anyPoint = false;
    for (const SensorLine& sensor : qAsConst(m_lines)) {
        for (const QLineSeries* run : sensor.runs)
            anyPoint = anyPoint || run->count() > 0;
    }
    chartTrend->chart()->setTitle(!errorText.isEmpty() ? errorText
                                  : anyPoint           ? QString()
                                                       : QString::fromUtf8(kNoDataTitle));
}

int HistoryTab::timeTicksRoom() const
{
    const qreal width = chartTrend->chart()->plotArea().width();
    const bool dated = m_shown.toMs - m_shown.fromMs > 24 * kHourMs;
    return std::clamp(int(width / (dated ? kDatedTimeTickRoom : kTimeTickRoom)), 3, 12);
}

int HistoryTab::valueTicksRoom() const
{
    const qreal height = chartTrend->chart()->plotArea().height();
    return std::clamp(int(height / kValueTickRoom), 3, 11);
}

void HistoryTab::fitAxes()
{
    m_timeTicksFitted = timeTicksRoom();
    const qint64 utcOffsetMs = QDateTime::fromMSecsSinceEpoch(m_shown.fromMs).offsetFromUtc() * 1000LL;
    const history::AxisTicks time =
        history::timeAxisTicks(m_shown.fromMs, m_shown.toMs, m_timeTicksFitted, utcOffsetMs);
    constexpr qint64 kMinuteMs = 60 * 1000;
    m_timeAxis->setFormat(QLatin1String(time.step < kMinuteMs                 ? "HH:mm:ss"
                                        : time.step >= 24 * kHourMs           ? "MM-dd"
                                        : time.high - time.low > 24 * kHourMs ? "MM-dd HH:mm"
                                                                              : "HH:mm"));
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(time.low), QDateTime::fromMSecsSinceEpoch(time.high));
    m_timeAxis->setTickCount(time.count);

    qreal low = std::numeric_limits<qreal>::max();
    qreal high = std::numeric_limits<qreal>::lowest();
    for (const SensorLine& sensor : qAsConst(m_lines)) {
        for (const QLineSeries* run : sensor.runs) {
            for (const QPointF& p : run->points()) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        }
    }
    if (low > high) { // nothing to show: a room's temperatures
        low = 0;
        high = 40;
    }
    const history::ValueTicks value =
        history::valueAxisTicks(std::floor(low) - 1, std::ceil(high) + 1, valueTicksRoom());
    m_valueAxis->setRange(value.low, value.high);
    m_valueAxis->setTickCount(value.count);
    m_valueAxis->setLabelFormat(QLatin1String(value.step >= 1 ? "%.0f" : "%.1f"));
}

void HistoryTab::followRecorded(const QVector<history::Reading>& readings)
{
    if (!isBuilt())
        return;
    if (m_answerFailed && !m_answerAwaited) {
        // The database is written again: the query that failed is asked once more.
        if (!m_refreshTimer->isActive())
            m_refreshTimer->start(kFollowRequeryMs);
        return;
    }
    if (cboTrendRange->currentIndex() == Custom)
        return;
    if (m_answerAwaited) {
        m_recordedMeanwhile = true;
        return;
    }
    QHash<int, QList<QPointF>> added; // by position
    for (const history::Reading& r : readings) {
        if (r.station != m_shown.station || r.channel != m_shown.channel || !r.celsius)
            continue;
        const auto sensor = m_lines.constFind(r.position);
        if (sensor == m_lines.constEnd())
            continue;
        // A reading the query already brought is not added twice.
        const qreal x = qreal(r.timeMs);
        QList<QPointF>& points = added[r.position];
        const QLineSeries* lastRun = sensor->runs.constLast();
        const qreal last = !points.isEmpty()  ? points.constLast().x()
                           : lastRun->count() ? lastRun->at(lastRun->count() - 1).x()
                                              : std::numeric_limits<qreal>::lowest();
        if (x > last)
            points.append(QPointF(x, *r.celsius));
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_shown.toMs = std::max(m_shown.toMs, now);
    m_shown.fromMs = m_shown.toMs - spanOf(cboTrendRange->currentIndex());
    for (auto sensor = m_lines.begin(); sensor != m_lines.end(); ++sensor) {
        for (const QPointF& point : added.value(sensor.key())) {
            QLineSeries* run = sensor->runs.constLast();
            if (!sensor->gapFromReadings) { // a few points yet: the gap follows them
                QList<QPointF> points;
                for (const QLineSeries* each : qAsConst(sensor->runs))
                    points += each->points();
                points.append(point);
                sensor->gapMs = history::lineGapMs(points, m_intervalMs);
                sensor->gapFromReadings = points.size() >= 3;
            }
            if (run->count() > 0 && point.x() - run->at(run->count() - 1).x() > qreal(sensor->gapMs))
                run = addRun(sensor.key(), *sensor, {});
            run->append(point);
        }
        // Points that left the range go; an emptied run stays (the first holds the legend's entry).
        for (QLineSeries* run : qAsConst(sensor->runs)) {
            int old = 0;
            while (old < run->count() && run->at(old).x() < qreal(m_shown.fromMs))
                ++old;
            if (old > 0)
                run->removePoints(0, old);
        }
        markPoints(*sensor);
    }
    showShownRange();
    if (!m_answerFailed)
        showTitle(QString());
    if (!m_userView)
        fitAxes();
}

void HistoryTab::cmdTrendReset_Click()
{
    if (!isBuilt())
        return;
    chartTrend->chart()->zoomReset();
    m_userView = false;
    fitAxes();
}

void HistoryTab::showPointNear(QLineSeries* series, const QPointF& point, bool hovering)
{
    if (!hovering || series->count() == 0) {
        lblTrendPoint->hide();
        return;
    }
    // The recorded point nearest in time to where the pointer touches the line.
    const QList<QPointF> points = series->points();
    auto next = std::lower_bound(points.cbegin(), points.cend(), point.x(),
                                 [](const QPointF& p, qreal x) { return p.x() < x; });
    if (next == points.cend() ||
        (next != points.cbegin() && point.x() - (next - 1)->x() < next->x() - point.x()))
        --next;
    const QPointF nearest = *next;
    lblTrendPoint->setText(QStringLiteral("%1  %2  %3 °C")
                               .arg(series->name(), QDateTime::fromMSecsSinceEpoch(qint64(nearest.x()))
                                                        .toString(QString::fromLatin1(kTimeFormat)))
                               .arg(nearest.y(), 0, 'f', 2));
    lblTrendPoint->adjustSize();
    QChart* chart = chartTrend->chart();
    const QPoint at = chartTrend->mapFromScene(chart->mapToScene(chart->mapToPosition(nearest, series)));
    // Beside the point, inside the view.
    const int x = std::min(at.x() + 10, chartTrend->width() - lblTrendPoint->width());
    const int y = std::max(at.y() - lblTrendPoint->height() - 6, 0);
    lblTrendPoint->move(x, y);
    lblTrendPoint->show();
    lblTrendPoint->raise();
}

void HistoryTab::cmdExportCsv_Click()
{
    if (!isBuilt() || m_databasePath.isEmpty() || m_export)
        return;
    const history::ReadingQuery query = chosenQuery(QDateTime::currentMSecsSinceEpoch());
    if (query.positions.isEmpty()) {
        dialogs::MsgBox(this, QStringLiteral("请先选择要导出的位置。"), QString(), dialogs::Icon::Warning);
        return;
    }
    dialogs::FileDialogRequest ask;
    ask.save = true;
    ask.folder = programFolder();
    ask.fileName = exportFileName(query.station, query.channel, QDate::currentDate());
    ask.filter = QStringLiteral("CSV文件 (*.csv)|*.csv");
    ask.title = QStringLiteral("导出CSV");
    ask.confirmOverwrite = true;
    const QString path = dialogs::FileDialog(this, ask);
    if (path.isEmpty())
        return;

    // The export runs in a thread of its own; the window goes on reading the line meanwhile.
    m_export = new history::CsvExportTask(m_databasePath, query, path, this);
    // Not modal: a modal progress dialog would run the event loop inside setValue.
    auto* progress = new QProgressDialog(QStringLiteral("正在导出到 %1 ...").arg(QFileInfo(path).fileName()),
                                         QStringLiteral("取消"), 0, 0, this);
    progress->setWindowModality(Qt::NonModal);
    progress->setMinimumDuration(kExportProgressAfterMs); // it shows itself (show()) when that passed
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    m_exportProgress = progress;
    connect(m_export, &history::CsvExportTask::progressed, progress, [progress](qint64 done, qint64 total) {
        if (progress->wasCanceled())
            return; // the dialog hid itself; it stays hidden
        progress->setMaximum(int(std::min<qint64>(total, std::numeric_limits<int>::max())));
        progress->setValue(int(std::min<qint64>(done, std::numeric_limits<int>::max())));
    });
    connect(progress, &QProgressDialog::canceled, m_export, &history::CsvExportTask::cancel);
    connect(m_export, &history::CsvExportTask::finished, this,
            [this, path](const history::ExportResult& result) { showExportResult(path, result); });
    cmdExportCsv->setEnabled(false); // one export at a time
    m_export->start();
}

void HistoryTab::showExportResult(const QString& path, const history::ExportResult& result)
{
    delete m_exportProgress;
    m_exportProgress = nullptr;
    m_export->deleteLater(); // it is still saying this result
    m_export = nullptr;
    cmdExportCsv->setEnabled(true);
    switch (result.status) {
    case history::ExportResult::Written:
        dialogs::MsgBox(
            this,
            QStringLiteral("已导出 %1 条记录到 %2").arg(result.rows).arg(QDir::toNativeSeparators(path)),
            QString(), dialogs::Icon::Information);
        break;
    case history::ExportResult::NothingToWrite:
        dialogs::MsgBox(this, QStringLiteral("所选位置在这段时间内没有记录，没有写入文件。"), QString(),
                        dialogs::Icon::Information);
        break;
    case history::ExportResult::Cancelled:
        break;
    case history::ExportResult::Failed:
        dialogs::MsgBox(this, result.errorText, QString(), dialogs::Icon::Warning);
        break;
    }
    emit exportFinished();
}
