#pragma once
// The fifth tab "历史数据": the history's state line and, above it, a tab
// widget whose first page "趋势与导出" charts the recorded temperatures of a
// channel's sensors and exports them as CSV (further pages are added by their
// owners). Everything but the state line, the chart above all, is built when
// the tab is first shown, so the window opens as fast as without it.

#include "history/history_store.h"
#include "history/reading.h"
#include "history/trend_lines.h"

#include <QChartView>
#include <QDate>
#include <QHash>
#include <QString>
#include <QWidget>
#include <memory>

namespace history {
class CsvExportTask;
class HistoryRecorder;
struct ExportResult;
} // namespace history

class QComboBox;
class QDateTimeAxis;
class QDateTimeEdit;
class QLabel;
class QLineSeries;
class QListWidget;
class QProgressDialog;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QValueAxis;

// The proposed name of a CSV export: 温度记录_站<station>_通道<channel>_<yyyy-MM-dd>.csv.
QString exportFileName(int station, int channel, const QDate& date);

// The trend chart: a rubber band zooms to what it spans, the wheel zooms, the
// middle button (or Ctrl with the left one) drags the view, the arrow keys pan
// and + / - zoom. Each of these says viewChanged.
class TrendChartView : public QChartView
{
    Q_OBJECT
public:
    explicit TrendChartView(QChart* chart, QWidget* parent = nullptr);

Q_SIGNALS:
    void viewChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_panning = false;
    QPoint m_panFrom;
};

class HistoryTab : public QWidget
{
    Q_OBJECT
public:
    // The ranges of cboTrendRange, in its order.
    enum Range { LastHour, LastDay, LastWeek, Custom };

    explicit HistoryTab(QWidget* parent = nullptr);
    ~HistoryTab() override;

    // The database, and the station, channels and positions the choices offer.
    void setSource(const QString& databasePath, int station, int channelCount, int positionsPerChannel);
    // The record interval of history.set (0: every reading): a line breaks where
    // its readings stop for longer than three of them (history::lineGapMs).
    void setRecordInterval(int seconds);
    // The state line: how the history records, while no problem is shown.
    void setStateText(const QString& text);
    // A problem of the history: shown in the state line once, however often it is told.
    void showProblem(const QString& text);
    // The history's writer could not write: said in the state line while it lasts.
    void showRecorderFailure(const QString& text);
    // It writes again: said after the state, with the readings it had to drop.
    void showRecorderRecovered(qint64 droppedRows);
    // Readings just recorded: a chart over a "last ..." range takes those of its sensors.
    void followRecorded(const QVector<history::Reading>& readings);

    // Builds the tab's contents, once; the first chart's query follows.
    void ensureBuilt();
    bool isBuilt() const { return tabHistory != nullptr; }
    // The chosen sensors' readings over the chosen range, "last ..." ranges ending at `nowMs`.
    history::ReadingQuery chosenQuery(qint64 nowMs) const;

    // Queries the chosen readings again (in the query thread); trendShown follows.
    void RefreshTrend();
    void cmdTrendReset_Click();
    void cmdExportCsv_Click();

    // Built with the tab:
    QLabel* lblHistoryState = nullptr;
    // Built when the tab is first shown:
    QTabWidget* tabHistory = nullptr;
    QWidget* tabHistoryTrend = nullptr; // "趋势与导出"
    QSpinBox* spnTrendStation = nullptr;
    QComboBox* cboTrendChannel = nullptr;
    QListWidget* lstTrendPositions = nullptr;
    QComboBox* cboTrendRange = nullptr;
    QDateTimeEdit* dtpTrendFrom = nullptr;
    QDateTimeEdit* dtpTrendTo = nullptr;
    QPushButton* cmdTrendReset = nullptr;
    QPushButton* cmdExportCsv = nullptr;
    TrendChartView* chartTrend = nullptr;
    QLabel* lblTrendPoint = nullptr; // the value and time of the point under the pointer

Q_SIGNALS:
    // The chart shows the answer to the latest query.
    void trendShown();
    // The tab's contents were built (first shown): further pages may be added to tabHistory.
    void built();
    // The export started by cmdExportCsv ended, and its result was said.
    void exportFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildTrendPage();
    void fillChoices();
    void choicesChanged();
    // A sensor's line: one series per run of readings without a gap, all of
    // its colour; only the first has an entry in the legend.
    struct SensorLine
    {
        QList<QLineSeries*> runs;
        qint64 gapMs = 0;
        bool gapFromReadings = false; // gapMs is from enough readings (else it follows the points shown)
    };
    void showTrend(int ticket, const history::TrendLines& answer);
    QLineSeries* addRun(int position, SensorLine& sensor, const QList<QPointF>& points);
    // Markers on every point of a sensor whose points lie far apart, else on lone readings only.
    void markPoints(const SensorLine& sensor) const;
    // The chart's title: a failed query's error, 无数据 when no line has a point, else none.
    void showTitle(const QString& errorText);
    // A "last ..." range charted, in the greyed 从 and 到.
    void showShownRange();
    // The time axis over the range, the °C axis over the values shown, ticks on round values.
    void fitAxes();
    int timeTicksRoom() const;
    int valueTicksRoom() const;
    void showPointNear(QLineSeries* series, const QPointF& point, bool hovering);
    void showState();
    void showExportResult(const QString& path, const history::ExportResult& result);

    QString m_databasePath;
    qint64 m_intervalMs;
    int m_station = 1;
    int m_channelCount = 1;
    int m_positionsPerChannel = 1;
    QString m_stateText;
    QStringList m_problems;
    QString m_recorderProblem; // the writer's failure, while it lasts
    QString m_recorderNote;    // the writer recovered

    history::CsvExportTask* m_export = nullptr; // the export running (a child), if any
    QProgressDialog* m_exportProgress = nullptr;

    std::unique_ptr<history::TrendQueries> m_queries;
    QTimer* m_refreshTimer = nullptr; // gathers choices made in quick succession into one query
    int m_ticket = 0;
    bool m_answerAwaited = false;
    bool m_recordedMeanwhile = false; // readings were recorded while a query was on its way
    bool m_answerFailed = false;      // the chart shows a failed query's error
    history::ReadingQuery m_shown;    // what the chart shows
    int m_range = LastHour;           // cboTrendRange's choice until it changes
    QHash<int, SensorLine> m_lines;   // by position
    int m_timeTicksFitted = 0;        // the time axis's room in ticks when last fitted
    QDateTimeAxis* m_timeAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    bool m_userView = false; // zoomed or panned: following leaves the axes alone
};
