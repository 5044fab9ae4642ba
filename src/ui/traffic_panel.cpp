#include "traffic_panel.h"

#include "dialogs.h"
#include "program_folder.h"
#include "protocol/module_limits.h"
#include "acquisition/line_test.h"
#include "traffic/traffic_recorder.h"

#include <QDate>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Every text the panel shows of its own.
namespace captions {
const QString RecordGroup = QStringLiteral("通信记录");
const QString StatsGroup = QStringLiteral("各通道统计");
const QString Save = QStringLiteral("保存");
const QString Clear = QStringLiteral("清空");
const QString LineTestGroup = QStringLiteral("线路测试");
const QString LineTest = QStringLiteral("线路测试");
const QString StopLineTest = QStringLiteral("停止");
const QString LineTestHint = QStringLiteral("按“数据查询”页的设备地址、功能码、起始地址、数据长度和通道号，"
                                            "连续发送 %1 次请求，统计应答时间与错误");
const QStringList StatsColumns = {QStringLiteral("通道"),   QStringLiteral("请求"),
                                  QStringLiteral("应答"),   QStringLiteral("CRC错误"),
                                  QStringLiteral("无应答"), QStringLiteral("重试"),
                                  QStringLiteral("跳过字节"), QStringLiteral("应答时间中位数(ms)")};
// Requests about no one channel (the module's address and baud rate) have channel 0.
const QString NoChannel = QStringLiteral("其他");
const QString NoMedian = QStringLiteral("-");
const QString SaveFilter = QStringLiteral("txt|*.txt");

QString defaultFileName(const QDate& date)
{
    return QStringLiteral("通信记录_%1.txt").arg(date.toString(QStringLiteral("yyyyMMdd")));
}

QString notSavedMessage(const QString& path)
{
    return QStringLiteral("无法写入文件“%1”，通信记录未保存。").arg(QDir::toNativeSeparators(path));
}
} // namespace captions

QPushButton* button(const QString& objectName, const QString& caption)
{
    auto* b = new QPushButton(caption);
    b->setObjectName(objectName);
    return b;
}

} // namespace

TrafficPanel::TrafficPanel(traffic::TrafficRecorder* recorder, QWidget* parent)
    : QWidget(parent), m_recorder(recorder)
{
    buildControls();
    // Frames come in bursts: the first change starts the clock, the later ones wait for it.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TrafficPanel::refresh);
    connect(m_recorder, &traffic::TrafficRecorder::changed, this, [this] {
        if (!m_refresh.isActive())
            m_refresh.start();
    });
    connect(m_recorder, &traffic::TrafficRecorder::verdictSet, this,
            [this](quint64 sequence) { m_verdictsSet.push_back(sequence); });
    // The list stays at its end while the operator leaves it there, also when
    // its size changes (it is laid out or shown again) with no frame coming.
    QScrollBar* bar = lstTraffic->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        // A hidden list is laid out anew when shown: only the operator's scrolling counts.
        if (lstTraffic->isVisible())
            m_followEnd = value == bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_followEnd)
            bar->setValue(maximum);
    });
    m_shownFirst = m_shownNext = m_recorder->record().firstSequence();
    refresh();
}

void TrafficPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again, the list is where it was left: at its newest line unless the
    // operator scrolled up. Lines added while hidden are laid out by then.
    if (m_followEnd)
        QTimer::singleShot(0, lstTraffic, &QListWidget::scrollToBottom);
}

void TrafficPanel::buildControls()
{
    lstTraffic = new QListWidget;
    lstTraffic->setObjectName(QStringLiteral("lstTraffic"));
    lstTraffic->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Lines differ in width (a verdict's text is longer than "已发送"): each is
    // measured, so the widest sets the scroll range and none is cut at the right.
    lstTraffic->setUniformItemSizes(false);
    lstTraffic->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lstTraffic->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    lstTraffic->setSelectionMode(QAbstractItemView::ExtendedSelection);

    cmdSaveTraffic = button(QStringLiteral("cmdSaveTraffic"), captions::Save);
    cmdClearTraffic = button(QStringLiteral("cmdClearTraffic"), captions::Clear);
    connect(cmdSaveTraffic, &QPushButton::clicked, this, &TrafficPanel::cmdSaveTraffic_Click);
    connect(cmdClearTraffic, &QPushButton::clicked, this, &TrafficPanel::cmdClearTraffic_Click);

    tblTrafficStats = new QTableWidget(0, int(captions::StatsColumns.size()));
    tblTrafficStats->setObjectName(QStringLiteral("tblTrafficStats"));
    tblTrafficStats->setHorizontalHeaderLabels(captions::StatsColumns);
    tblTrafficStats->verticalHeader()->hide();
    tblTrafficStats->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblTrafficStats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblTrafficStats->setSelectionMode(QAbstractItemView::NoSelection);
    // Room for ten channels and "其他" without a scroll bar.
    QHeaderView* rowHeader = tblTrafficStats->verticalHeader();
    rowHeader->setDefaultSectionSize(fontMetrics().height() + 6);
    tblTrafficStats->setFixedHeight(tblTrafficStats->horizontalHeader()->sizeHint().height() +
                                    (protocol::MaxChannelsPerModule + 1) * rowHeader->defaultSectionSize() +
                                    2 * tblTrafficStats->frameWidth());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSaveTraffic);
    buttons->addWidget(cmdClearTraffic);

    auto* recordGroup = new QGroupBox(captions::RecordGroup);
    auto* record = new QVBoxLayout(recordGroup);
    record->addWidget(lstTraffic, 1);
    record->addLayout(buttons);

    cmdLineTest = button(QStringLiteral("cmdLineTest"), captions::LineTest);
    cmdStopLineTest = button(QStringLiteral("cmdStopLineTest"), captions::StopLineTest);
    cmdStopLineTest->setEnabled(false);
    prgLineTest = new QProgressBar;
    prgLineTest->setObjectName(QStringLiteral("prgLineTest"));
    prgLineTest->setRange(0, acquisition::kLineTestDefaultRequests);
    prgLineTest->setValue(0);
    lblLineTestFigures = new QLabel(captions::LineTestHint.arg(acquisition::kLineTestDefaultRequests));
    lblLineTestFigures->setObjectName(QStringLiteral("lblLineTestFigures"));
    lblLineTestFigures->setWordWrap(true);
    lblLineTestFigures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(cmdLineTest, &QPushButton::clicked, this, &TrafficPanel::lineTestClicked);
    connect(cmdStopLineTest, &QPushButton::clicked, this, &TrafficPanel::stopLineTestClicked);
    auto* lineTestGroup = new QGroupBox(captions::LineTestGroup);
    auto* lineTest = new QVBoxLayout(lineTestGroup);
    auto* lineTestRow = new QHBoxLayout;
    lineTestRow->addWidget(cmdLineTest);
    lineTestRow->addWidget(cmdStopLineTest);
    lineTestRow->addWidget(prgLineTest, 1);
    lineTest->addLayout(lineTestRow);
    lineTest->addWidget(lblLineTestFigures);

    auto* statsGroup = new QGroupBox(captions::StatsGroup);
    auto* statsLayout = new QVBoxLayout(statsGroup);
    statsLayout->addWidget(tblTrafficStats);

    auto* page = new QVBoxLayout(this);
    page->addWidget(recordGroup, 1);
    page->addWidget(lineTestGroup);
    page->addWidget(statsGroup);
}

void TrafficPanel::refresh()
{
    m_refresh.stop();
    refreshList();
    refreshStats();
}

void TrafficPanel::refreshList()
{
    const traffic::TrafficRing& record = m_recorder->record();
    const quint64 first = record.firstSequence();
    const quint64 next = first + quint64(record.size());
    QScrollBar* bar = lstTraffic->verticalScrollBar();
    const bool following = m_followEnd;
    const int scrolledTo = bar->value();

    // Lines of entries the record no longer holds go first.
    const quint64 keepFrom = std::min(std::max(m_shownFirst, first), m_shownNext);
    const int gone = int(keepFrom - m_shownFirst);
    if (gone == lstTraffic->count())
        lstTraffic->clear();
    else if (gone > 0)
        lstTraffic->model()->removeRows(0, gone);
    m_shownFirst = keepFrom;
    if (m_shownFirst == m_shownNext)
        m_shownFirst = m_shownNext = first;

    // Lines shown whose entry got its verdict since.
    for (const quint64 sequence : m_verdictsSet)
        if (sequence >= m_shownFirst && sequence < m_shownNext)
            lstTraffic->item(int(sequence - m_shownFirst))
                ->setText(traffic::entryLine(record.at(int(sequence - first))));
    m_verdictsSet.clear();

    // Only the new entries become lines.
    QStringList added;
    for (quint64 sequence = std::max(m_shownNext, first); sequence < next; ++sequence)
        added << traffic::entryLine(record.at(int(sequence - first)));
    lstTraffic->addItems(added);
    m_shownNext = next;

    if (following)
        lstTraffic->scrollToBottom(); // lays the new lines out now, and so sets the range
    else
        bar->setValue(scrolledTo - gone); // the lines looked at stay in view
}

void TrafficPanel::refreshStats()
{
    const auto& stats = m_recorder->stats();
    tblTrafficStats->setRowCount(int(stats.size()));
    int row = 0;
    for (const auto& [channel, counts] : stats) {
        const std::optional<double> median = counts.replyTimes.median();
        const QStringList cells = {channel == 0 ? captions::NoChannel : QString::number(channel),
                                   QString::number(counts.requests),
                                   QString::number(counts.replies),
                                   QString::number(counts.crcErrors),
                                   QString::number(counts.noReplies),
                                   QString::number(counts.retries),
                                   QString::number(counts.skippedBytes),
                                   median ? QString::number(*median) : captions::NoMedian};
        for (int column = 0; column < cells.size(); ++column) {
            auto* cell = new QTableWidgetItem(cells.at(column));
            cell->setTextAlignment(Qt::AlignCenter);
            tblTrafficStats->setItem(row, column, cell);
        }
        ++row;
    }
}

void TrafficPanel::showLineTestProgress(int done, int total)
{
    prgLineTest->setRange(0, total);
    prgLineTest->setValue(done);
    cmdLineTest->setEnabled(false);
    cmdStopLineTest->setEnabled(true);
}

void TrafficPanel::showLineTestFigures(const QString& text)
{
    lblLineTestFigures->setText(text);
    cmdLineTest->setEnabled(true);
    cmdStopLineTest->setEnabled(false);
}

void TrafficPanel::cmdSaveTraffic_Click()
{
    dialogs::FileDialogRequest ask;
    ask.save = true;
    ask.folder = programFolder();
    ask.fileName = captions::defaultFileName(QDate::currentDate());
    ask.filter = captions::SaveFilter;
    ask.confirmOverwrite = true;
    const QString path = dialogs::FileDialog(this, ask);
    if (path.isEmpty())
        return;
    if (!traffic::saveRecord(path, m_recorder->record()))
        dialogs::MsgBox(this, captions::notSavedMessage(path), QString(), dialogs::Icon::Warning);
}

void TrafficPanel::cmdClearTraffic_Click()
{
    m_recorder->clear();
    refresh();
}
