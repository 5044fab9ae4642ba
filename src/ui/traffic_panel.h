#pragma once
// The traffic page: the frames a TrafficRecorder holds, one line each, saved
// to a file on request, and each channel's statistics.

#include <QTimer>
#include <QWidget>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace traffic {
class TrafficRecorder;
}

class TrafficPanel : public QWidget
{
    Q_OBJECT
public:
    // The record changes with every frame; the page follows it at most this often.
    static constexpr int RefreshMs = 250;

    explicit TrafficPanel(traffic::TrafficRecorder* recorder, QWidget* parent = nullptr);

    // A line per frame held, oldest first; it follows the newest unless scrolled up.
    QListWidget* lstTraffic = nullptr;
    QPushButton* cmdSaveTraffic = nullptr;
    QPushButton* cmdClearTraffic = nullptr;
    // A row per channel with traffic.
    QTableWidget* tblTrafficStats = nullptr;
    // The line test: started and stopped here, run by the window.
    QPushButton* cmdLineTest = nullptr;
    QPushButton* cmdStopLineTest = nullptr;
    QProgressBar* prgLineTest = nullptr;
    QLabel* lblLineTestFigures = nullptr;

    void showLineTestProgress(int done, int total); // a test runs: stop enabled
    void showLineTestFigures(const QString& text);  // it ended

Q_SIGNALS:
    void lineTestClicked();
    void stopLineTestClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void refresh();
    void refreshList();
    void refreshStats();
    void cmdSaveTraffic_Click();
    void cmdClearTraffic_Click();

    traffic::TrafficRecorder* m_recorder;
    QTimer m_refresh;
    // The list's lines are the record's entries with sequence numbers [m_shownFirst, m_shownNext).
    quint64 m_shownFirst = 0;
    quint64 m_shownNext = 0;
    std::vector<quint64> m_verdictsSet; // entries that got a verdict since the last refresh
    bool m_followEnd = true;            // the list was at its end when last scrolled
};
