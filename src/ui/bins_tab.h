#pragma once
// The sixth tab "温度分布": a bin's reading by cable and layer with a colour
// scale, each layer's and the bin's highest, lowest and average, the plan view,
// a comparison with an earlier reading and bin against bin, the report (PDF,
// CSV, printed) on demand and every day at a set time. The newest reading
// follows the window's passes; readings from the history are fetched in a
// thread of their own, never waited for.

#include "bin_table_model.h"

#include "bins/bins_settings.h"
#include "bins/layout_file.h"
#include "report/bin_drawing.h"
#include "report/bin_report.h"

#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTableWidget;
class QThread;
class QTimeEdit;

namespace history {
class NewestReadingsQueries;
struct NewestReadings;
} // namespace history

// The bin's plan: its outline and the cables as dots coloured on the scale.
class BinPlanWidget : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    void show(const bins::BinView& view, const report::ColourScale& scale, int layer);
    QSize sizeHint() const override { return {260, 220}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bins::BinView m_view;
    report::ColourScale m_scale;
    int m_layer = report::PlanByHighest;
};

class BinLegendWidget : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setScale(const report::ColourScale& scale);
    QSize sizeHint() const override { return {320, 64}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    report::ColourScale m_scale;
};

// layout.set as text: 检查 names the bad line and field, 保存 writes it once it is right.
class LayoutEditor : public QDialog
{
    Q_OBJECT
public:
    LayoutEditor(const QString& folder, const QByteArray& text, QWidget* parent = nullptr);
    QPlainTextEdit* txtLayoutText = nullptr;
    QLabel* lblLayoutCheck = nullptr;
    QPushButton* cmdLayoutCheck = nullptr;
    QPushButton* cmdLayoutSave = nullptr;

Q_SIGNALS:
    void saved();

private:
    bool check();
    QString m_folder;
};

class BinsTab : public QWidget
{
    Q_OBJECT
public:
    explicit BinsTab(QWidget* parent = nullptr);
    ~BinsTab() override;

    // The program's folder (layout.set, bins.set, reports/), the history's
    // database, and the module's station, channels and sensors, which make the
    // default map until readings say more.
    void setSource(const QString& folder, const QString& databasePath, int station, int channels, int sensors);
    // A reply's readings (one channel of a pass): kept; the view follows them
    // while the newest reading is shown.
    void take(const QVector<history::Reading>& readings);

    const bins::BinLayout& layout() const;
    const bins::BinView& shownView() const { return m_model->view(); }
    BinTableModel* model() const { return m_model; }
    QString stateText() const;
    // Why layout.set or bins.set could not be used at setSource (their defaults apply), or empty.
    QString loadProblems() const;

    QComboBox* cboBinsBin = nullptr;
    QComboBox* cboBinsWhen = nullptr; // 最新读数 / 历史时刻
    QDateTimeEdit* dtmBinsAt = nullptr;
    QPushButton* cmdBinsQuery = nullptr;
    QComboBox* cboBinsCompare = nullptr; // 不对比 / 昨日此时 / 上周此时 / 指定时刻
    QDateTimeEdit* dtmBinsCompareAt = nullptr;
    QDoubleSpinBox* spnBinsRise = nullptr;
    QComboBox* cboBinsPlanLayer = nullptr;
    QDoubleSpinBox* spnBinsLow = nullptr;
    QDoubleSpinBox* spnBinsHigh = nullptr;
    QLineEdit* txtBinsSite = nullptr;
    QCheckBox* chkBinsDaily = nullptr;
    QTimeEdit* tmeBinsDaily = nullptr;
    QSpinBox* spnBinsKeepDays = nullptr;
    QPushButton* cmdBinsSaveSettings = nullptr;
    QPushButton* cmdBinsPdf = nullptr;
    QPushButton* cmdBinsCsv = nullptr;
    QPushButton* cmdBinsPrint = nullptr;
    QPushButton* cmdBinsLayout = nullptr;
    QLabel* lblBinsSummary = nullptr;
    QLabel* lblBinsState = nullptr;
    QTableView* tblBinsCells = nullptr;
    QTableWidget* tblBinsAll = nullptr; // bin against bin

    enum class Compare { None, Yesterday, LastWeek, Chosen };

Q_SIGNALS:
    // The views were drawn anew (for the benchmark and tests).
    void redrawn();
    // The daily report was written (its files) or could not be (the reason).
    void dailyReportDone(const QStringList& files, const QString& problem);

public Q_SLOTS:
    void makeDailyReport();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void loadLayout();
    void fillBinList();
    void scheduleRedraw();
    void redraw();
    void askChosen();
    void askBefore();
    void answered(int ticket, const history::NewestReadings& readings);
    void settingsChanged();
    void saveSettings();
    void armDailyReport();
    void chooseFile(bool pdf);
    void print();
    void openLayoutEditor();
    void showState(const QString& text);
    const bins::SensorReadings& shownReadings() const;
    // The report of the bin shown, as it is shown.
    report::ReportContents shownReport() const;
    bool showingNewest() const;
    qint64 shownTimeMs() const;
    Compare compare() const;
    const bins::Bin* currentBin() const;
    void seedDefaultMap(int station, int channels, int positions);

    QString m_folder;
    QString m_databasePath;
    bins::BinsSettings m_settings;
    std::optional<bins::BinLayout> m_fileLayout; // layout.set, when it is there and right
    bins::BinLayout m_defaultLayout;
    QMap<int, QPair<int, int>> m_extent; // station -> channels, positions seen (the default map)
    QSet<QPair<int, int>> m_shownChannels; // the current bin's stations and channels
    bins::SensorReadings m_live;
    bins::SensorReadings m_chosen;
    bins::SensorReadings m_before;
    bool m_beforeReady = false;
    qint64 m_beforeAskedMs = 0;
    qint64 m_beforeAtMs = 0;
    qint64 m_chosenAtMs = 0;
    std::unique_ptr<history::NewestReadingsQueries> m_queries;
    int m_nextTicket = 1;
    int m_liveTicket = 0;
    int m_chosenTicket = 0;
    int m_beforeTicket = 0;
    int m_reportTicket = 0;
    qint64 m_reportAtMs = 0;
    BinTableModel* m_model = nullptr;
    BinPlanWidget* m_plan = nullptr;
    BinLegendWidget* m_legend = nullptr;
    QTimer m_redrawTimer;
    QTimer m_dailyTimer;
    QString m_layoutProblem;
    QString m_settingsProblem;
    QString m_lastState;
    bool m_dirty = false;
    QPointer<QThread> m_reportWriter; // the daily report being written
};
