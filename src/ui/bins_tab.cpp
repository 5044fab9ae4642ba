#include "bins_tab.h"

#include "report/bin_drawing.h"

#include "history/newest_readings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QDirIterator>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <QTimeEdit>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

constexpr qint64 Day = 24LL * 3600 * 1000;
// In the newest view, "yesterday at this time" is asked again once it is this old.
constexpr qint64 BeforeRefreshMs = 60 * 1000;

QString figureWithPlace(const bins::BinView& view, const std::optional<bins::Extreme>& e)
{
    if (!e)
        return QStringLiteral("—");
    return QStringLiteral("%1 °C（%2）").arg(report::celsiusText(e->celsius), report::placeText(view, *e));
}

QString signedText(const std::optional<double>& change)
{
    if (!change)
        return QStringLiteral("—");
    return (*change > 0 ? QStringLiteral("+") : QString()) + report::celsiusText(*change);
}

// A file name part from a bin's name: what a file system takes everywhere.
QString fileNamePart(QString name)
{
    for (QChar& c : name) {
        if (QStringLiteral("\\/:*?\"<>| ").contains(c))
            c = QLatin1Char('_');
    }
    return name;
}

} // namespace

// ---- The plan and the legend

void BinPlanWidget::show(const bins::BinView& view, const report::ColourScale& scale, int layer)
{
    m_view = view;
    m_scale = scale;
    m_layer = layer;
    update();
}

void BinPlanWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!m_view.bin.cables.isEmpty())
        report::paintPlan(painter, QRectF(rect()), m_view, m_scale, m_layer);
}

bool BinPlanWidget::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QRectF outline = report::planOutline(QRectF(rect()), m_view.bin);
    int nearest = -1;
    double best = 15 * 15; // pixels squared: a dot is found within 15 pixels
    for (int c = 0; c < m_view.bin.cables.size(); ++c) {
        const QPointF d = report::planDotCentre(outline, m_view.bin, c) - QPointF(help->pos());
        const double distance = d.x() * d.x() + d.y() * d.y();
        if (distance < best) {
            best = distance;
            nearest = c;
        }
    }
    if (nearest < 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QString tip;
    if (m_layer == report::PlanByHighest) {
        const bins::Figures& f = m_view.cables[nearest];
        const bins::Cable& c = m_view.bin.cables[nearest];
        tip = QStringLiteral("%1号电缆（%2号站 %3通道，x %4 m，y %5 m）\n最高 %6\n最低 %7\n平均 %8 °C")
                  .arg(c.number)
                  .arg(c.station)
                  .arg(c.channel)
                  .arg(c.x)
                  .arg(c.y)
                  .arg(figureWithPlace(m_view, f.highest), figureWithPlace(m_view, f.lowest),
                       report::celsiusText(f.average));
        if (f.highest)
            tip += QLatin1Char('\n') + sensorToolTip(m_view, f.highest->layer, nearest);
    } else {
        tip = sensorToolTip(m_view, m_layer, nearest);
    }
    QToolTip::showText(help->globalPos(), tip, this);
    return true;
}

void BinLegendWidget::setScale(const report::ColourScale& scale)
{
    m_scale = scale;
    update();
}

void BinLegendWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    report::paintLegend(painter, QRectF(rect()).adjusted(2, 2, -2, -2), m_scale);
}

// ---- The layout editor

LayoutEditor::LayoutEditor(const QString& folder, const QByteArray& text, QWidget* parent)
    : QDialog(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("frmLayout"));
    setWindowTitle(QStringLiteral("仓与电缆布局 — %1").arg(QDir::toNativeSeparators(
                       config::settingsFilePath(folder, bins::kLayoutSetName))));
    auto* layout = new QVBoxLayout(this);
    auto* help = new QLabel(QStringLiteral("每行一项：bin,名称,宽(m),深(m) 为一个仓；其下 cable,编号,站号,通道,x(m),y(m),"
                                           "顶层位置,底层位置 为此仓的一根电缆（第1层在顶部；顶层位置大于底层位置即自下而上编号）。"
                                           "以 # 开头的行为注释。"),
                            this);
    help->setWordWrap(true);
    layout->addWidget(help);
    txtLayoutText = new QPlainTextEdit(this);
    txtLayoutText->setObjectName(QStringLiteral("txtLayoutText"));
    txtLayoutText->setPlainText(QString::fromUtf8(text));
    txtLayoutText->setMinimumSize(560, 320);
    layout->addWidget(txtLayoutText);
    lblLayoutCheck = new QLabel(this);
    lblLayoutCheck->setObjectName(QStringLiteral("lblLayoutCheck"));
    lblLayoutCheck->setWordWrap(true);
    layout->addWidget(lblLayoutCheck);
    auto* buttons = new QHBoxLayout;
    cmdLayoutCheck = new QPushButton(QStringLiteral("检查"), this);
    cmdLayoutCheck->setObjectName(QStringLiteral("cmdLayoutCheck"));
    cmdLayoutSave = new QPushButton(QStringLiteral("保存"), this);
    cmdLayoutSave->setObjectName(QStringLiteral("cmdLayoutSave"));
    auto* cancel = new QPushButton(QStringLiteral("关闭"), this);
    buttons->addStretch();
    buttons->addWidget(cmdLayoutCheck);
    buttons->addWidget(cmdLayoutSave);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(cmdLayoutCheck, &QPushButton::clicked, this, &LayoutEditor::check);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdLayoutSave, &QPushButton::clicked, this, [this] {
        if (!check())
            return;
        // Written with CR LF line ends, as the program writes its settings files.
        QString written = txtLayoutText->toPlainText();
        if (!written.endsWith(QLatin1Char('\n')))
            written += QLatin1Char('\n');
        written.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        if (!bins::saveLayoutText(m_folder, written.toUtf8())) {
            lblLayoutCheck->setText(QStringLiteral("无法写入布局文件“%1”").arg(QDir::toNativeSeparators(
                config::settingsFilePath(m_folder, bins::kLayoutSetName))));
            return;
        }
        emit saved();
        accept();
    });
}

bool LayoutEditor::check()
{
    const bins::LayoutParse parsed = bins::parseLayoutFile(txtLayoutText->toPlainText().toUtf8());
    if (!parsed.layout) {
        lblLayoutCheck->setStyleSheet(QStringLiteral("color: #b00000"));
        lblLayoutCheck->setText(QStringLiteral("布局有误：%1").arg(bins::problemText(parsed.problem)));
        return false;
    }
    int cables = 0;
    for (const bins::Bin& bin : parsed.layout->bins)
        cables += int(bin.cables.size());
    lblLayoutCheck->setStyleSheet(QString());
    lblLayoutCheck->setText(
        QStringLiteral("布局正确：%1 个仓，%2 根电缆").arg(parsed.layout->bins.size()).arg(cables));
    return true;
}

// ---- The tab

BinsTab::BinsTab(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tabBins"));
    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(0);
    connect(&m_redrawTimer, &QTimer::timeout, this, &BinsTab::redraw);
    m_dailyTimer.setSingleShot(true);
    connect(&m_dailyTimer, &QTimer::timeout, this, &BinsTab::makeDailyReport);
    build();
}

BinsTab::~BinsTab()
{
    // A report being written finishes first: it tells this tab when it ends.
    if (m_reportWriter)
        m_reportWriter->wait();
}

void BinsTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Drawn before the tab's first paint, so it never shows what it held before.
    if (m_dirty)
        redraw();
}

void BinsTab::build()
{
    auto* top = new QVBoxLayout(this);
    auto* choose = new QHBoxLayout;
    auto add = [](QHBoxLayout* row, QWidget* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        row->addWidget(widget);
    };
    choose->addWidget(new QLabel(QStringLiteral("仓"), this));
    add(choose, cboBinsBin = new QComboBox(this), "cboBinsBin");
    cboBinsBin->setMinimumContentsLength(8);
    choose->addWidget(new QLabel(QStringLiteral("读数"), this));
    add(choose, cboBinsWhen = new QComboBox(this), "cboBinsWhen");
    cboBinsWhen->addItems({QStringLiteral("最新读数"), QStringLiteral("历史时刻")});
    add(choose, dtmBinsAt = new QDateTimeEdit(QDateTime::currentDateTime(), this), "dtmBinsAt");
    dtmBinsAt->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    dtmBinsAt->setCalendarPopup(true);
    add(choose, cmdBinsQuery = new QPushButton(QStringLiteral("查询"), this), "cmdBinsQuery");
    choose->addSpacing(12);
    choose->addWidget(new QLabel(QStringLiteral("对比"), this));
    add(choose, cboBinsCompare = new QComboBox(this), "cboBinsCompare");
    cboBinsCompare->addItems(
        {QStringLiteral("不对比"), QStringLiteral("昨日此时"), QStringLiteral("上周此时"), QStringLiteral("指定时刻")});
    add(choose, dtmBinsCompareAt = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-1), this),
        "dtmBinsCompareAt");
    dtmBinsCompareAt->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    dtmBinsCompareAt->setCalendarPopup(true);
    choose->addWidget(new QLabel(QStringLiteral("升温超过"), this));
    add(choose, spnBinsRise = new QDoubleSpinBox(this), "spnBinsRise");
    spnBinsRise->setRange(0, 180);
    spnBinsRise->setDecimals(1);
    spnBinsRise->setSuffix(QStringLiteral(" °C"));
    choose->addWidget(new QLabel(QStringLiteral("标出"), this));
    choose->addStretch();
    top->addLayout(choose);

    auto* settings = new QHBoxLayout;
    settings->addWidget(new QLabel(QStringLiteral("色标"), this));
    add(settings, spnBinsLow = new QDoubleSpinBox(this), "spnBinsLow");
    settings->addWidget(new QLabel(QStringLiteral("至"), this));
    add(settings, spnBinsHigh = new QDoubleSpinBox(this), "spnBinsHigh");
    for (QDoubleSpinBox* box : {spnBinsLow, spnBinsHigh}) {
        box->setRange(-55, 125);
        box->setDecimals(1);
        box->setSuffix(QStringLiteral(" °C"));
    }
    settings->addWidget(new QLabel(QStringLiteral("平面图"), this));
    add(settings, cboBinsPlanLayer = new QComboBox(this), "cboBinsPlanLayer");
    settings->addWidget(new QLabel(QStringLiteral("站点"), this));
    add(settings, txtBinsSite = new QLineEdit(this), "txtBinsSite");
    txtBinsSite->setMinimumWidth(90);
    add(settings, chkBinsDaily = new QCheckBox(QStringLiteral("每日报表"), this), "chkBinsDaily");
    add(settings, tmeBinsDaily = new QTimeEdit(QTime(6, 0), this), "tmeBinsDaily");
    tmeBinsDaily->setDisplayFormat(QStringLiteral("HH:mm"));
    settings->addWidget(new QLabel(QStringLiteral("保留"), this));
    add(settings, spnBinsKeepDays = new QSpinBox(this), "spnBinsKeepDays");
    spnBinsKeepDays->setRange(1, 3650);
    spnBinsKeepDays->setSuffix(QStringLiteral(" 天"));
    add(settings, cmdBinsSaveSettings = new QPushButton(QStringLiteral("保存设置"), this), "cmdBinsSaveSettings");
    settings->addStretch();
    add(settings, cmdBinsLayout = new QPushButton(QStringLiteral("编辑布局..."), this), "cmdBinsLayout");
    add(settings, cmdBinsPdf = new QPushButton(QStringLiteral("报表 PDF..."), this), "cmdBinsPdf");
    add(settings, cmdBinsCsv = new QPushButton(QStringLiteral("报表 CSV..."), this), "cmdBinsCsv");
    add(settings, cmdBinsPrint = new QPushButton(QStringLiteral("打印..."), this), "cmdBinsPrint");
    top->addLayout(settings);

    lblBinsSummary = new QLabel(this);
    lblBinsSummary->setObjectName(QStringLiteral("lblBinsSummary"));
    lblBinsSummary->setTextFormat(Qt::PlainText);
    QFont bold = lblBinsSummary->font();
    bold.setBold(true);
    lblBinsSummary->setFont(bold);
    top->addWidget(lblBinsSummary);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    tblBinsCells = new QTableView(splitter);
    tblBinsCells->setObjectName(QStringLiteral("tblBinsCells"));
    m_model = new BinTableModel(this);
    tblBinsCells->setModel(m_model);
    tblBinsCells->setSelectionMode(QAbstractItemView::NoSelection);
    tblBinsCells->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Fixed sizes: a new pass never lays the table out again.
    tblBinsCells->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblBinsCells->horizontalHeader()->setDefaultSectionSize(47);
    tblBinsCells->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblBinsCells->verticalHeader()->setDefaultSectionSize(20);
    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    m_plan = new BinPlanWidget(side);
    m_plan->setObjectName(QStringLiteral("picBinsPlan"));
    m_plan->setMinimumSize(200, 160);
    sideLayout->addWidget(m_plan, 2);
    m_legend = new BinLegendWidget(side);
    m_legend->setObjectName(QStringLiteral("picBinsLegend"));
    m_legend->setMinimumHeight(64);
    sideLayout->addWidget(m_legend);
    sideLayout->addWidget(new QLabel(QStringLiteral("各仓对比"), side));
    tblBinsAll = new QTableWidget(0, 5, side);
    tblBinsAll->setObjectName(QStringLiteral("tblBinsAll"));
    tblBinsAll->setHorizontalHeaderLabels({QStringLiteral("仓"), QStringLiteral("平均"), QStringLiteral("最高"),
                                           QStringLiteral("最低"), QStringLiteral("故障")});
    tblBinsAll->verticalHeader()->hide();
    tblBinsAll->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblBinsAll->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sideLayout->addWidget(tblBinsAll, 1);
    side->setMaximumWidth(330);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    top->addWidget(splitter, 1);

    lblBinsState = new QLabel(this);
    lblBinsState->setObjectName(QStringLiteral("lblBinsState"));
    lblBinsState->setWordWrap(true);
    top->addWidget(lblBinsState);

    connect(cboBinsBin, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        cboBinsPlanLayer->clear();
        m_model->show({}, std::nullopt, {}); // the new bin's shape
        scheduleRedraw();
    });
    connect(cboBinsWhen, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        dtmBinsAt->setEnabled(!showingNewest());
        cmdBinsQuery->setEnabled(!showingNewest());
        if (showingNewest()) {
            askBefore();
            scheduleRedraw();
        } else {
            askChosen();
        }
    });
    connect(cmdBinsQuery, &QPushButton::clicked, this, &BinsTab::askChosen);
    connect(cboBinsCompare, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        dtmBinsCompareAt->setEnabled(compare() == Compare::Chosen);
        askBefore();
        scheduleRedraw();
    });
    connect(dtmBinsCompareAt, &QDateTimeEdit::dateTimeChanged, this, [this] {
        if (compare() == Compare::Chosen)
            askBefore();
    });
    connect(cboBinsPlanLayer, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &BinsTab::scheduleRedraw);
    for (QDoubleSpinBox* box : {spnBinsLow, spnBinsHigh, spnBinsRise})
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &BinsTab::settingsChanged);
    connect(cmdBinsSaveSettings, &QPushButton::clicked, this, &BinsTab::saveSettings);
    connect(cmdBinsPdf, &QPushButton::clicked, this, [this] { chooseFile(true); });
    connect(cmdBinsCsv, &QPushButton::clicked, this, [this] { chooseFile(false); });
    connect(cmdBinsPrint, &QPushButton::clicked, this, &BinsTab::print);
    connect(cmdBinsLayout, &QPushButton::clicked, this, &BinsTab::openLayoutEditor);
    dtmBinsAt->setEnabled(false);
    cmdBinsQuery->setEnabled(false);
    dtmBinsCompareAt->setEnabled(false);
}

void BinsTab::setSource(const QString& folder, const QString& databasePath, int station, int channels, int sensors)
{
    m_folder = folder;
    m_databasePath = databasePath;
    const bins::BinsSettingsLoad settings = bins::loadBinsSettings(folder);
    m_settings = settings.settings;
    m_settingsProblem = settings.status == bins::BinsSettingsLoad::Unreadable
                            ? bins::unreadableBinsSettingsMessage(settings)
                            : QString();
    {
        const QSignalBlocker blockers[] = {QSignalBlocker(spnBinsLow), QSignalBlocker(spnBinsHigh),
                                           QSignalBlocker(spnBinsRise)};
        spnBinsLow->setValue(m_settings.scaleLow);
        spnBinsHigh->setValue(m_settings.scaleHigh);
        spnBinsRise->setValue(m_settings.riseLimit);
    }
    txtBinsSite->setText(m_settings.site);
    chkBinsDaily->setChecked(m_settings.reportTime.has_value());
    if (m_settings.reportTime)
        tmeBinsDaily->setTime(*m_settings.reportTime);
    spnBinsKeepDays->setValue(m_settings.keepDays);
    m_legend->setScale({m_settings.scaleLow, m_settings.scaleHigh});
    seedDefaultMap(station, channels, sensors);
    loadLayout();
    m_queries = std::make_unique<history::NewestReadingsQueries>(databasePath);
    connect(m_queries.get(), &history::NewestReadingsQueries::answered, this, &BinsTab::answered);
    // What the history holds already shows until the first pass.
    m_liveTicket = m_nextTicket++;
    m_queries->ask(m_liveTicket, QDateTime::currentMSecsSinceEpoch());
    armDailyReport();
    showState(QString());
}

void BinsTab::seedDefaultMap(int station, int channels, int positions)
{
    QPair<int, int>& extent = m_extent[station];
    extent.first = std::max(extent.first, channels);
    extent.second = std::max(extent.second, positions);
}

void BinsTab::loadLayout()
{
    const bins::LayoutLoad load = bins::loadLayout(m_folder);
    m_fileLayout = load.layout;
    m_layoutProblem = load.status == bins::LayoutLoad::Unreadable ? bins::unreadableLayoutMessage(load) : QString();
    fillBinList();
}

const bins::BinLayout& BinsTab::layout() const
{
    return m_fileLayout ? *m_fileLayout : m_defaultLayout;
}

void BinsTab::fillBinList()
{
    if (!m_fileLayout) {
        m_defaultLayout.bins.clear();
        for (auto it = m_extent.cbegin(); it != m_extent.cend(); ++it)
            m_defaultLayout.bins.append(bins::defaultBin(it.key(), it->first, it->second));
    }
    const QString current = cboBinsBin->currentText();
    {
        const QSignalBlocker blocker(cboBinsBin);
        cboBinsBin->clear();
        for (const bins::Bin& bin : layout().bins)
            cboBinsBin->addItem(bin.name);
        const int index = cboBinsBin->findText(current);
        cboBinsBin->setCurrentIndex(index >= 0 ? index : 0);
    }
    cboBinsPlanLayer->clear();
    scheduleRedraw();
}

const bins::Bin* BinsTab::currentBin() const
{
    return layout().find(cboBinsBin->currentText());
}

bool BinsTab::showingNewest() const
{
    return cboBinsWhen->currentIndex() == 0;
}

BinsTab::Compare BinsTab::compare() const
{
    return Compare(cboBinsCompare->currentIndex());
}

const bins::SensorReadings& BinsTab::shownReadings() const
{
    return showingNewest() ? m_live : m_chosen;
}

qint64 BinsTab::shownTimeMs() const
{
    return showingNewest() ? QDateTime::currentMSecsSinceEpoch() : m_chosenAtMs;
}

void BinsTab::take(const QVector<history::Reading>& readings)
{
    if (readings.isEmpty())
        return;
    m_live.add(readings);
    const history::Reading& first = readings.first();
    if (!m_fileLayout) {
        int positions = 0;
        for (const history::Reading& r : readings)
            positions = std::max(positions, r.position);
        const QPair<int, int> before = m_extent.value(first.station);
        seedDefaultMap(first.station, first.channel, positions);
        if (m_extent.value(first.station) != before)
            fillBinList();
    }
    if (!showingNewest())
        return;
    if (compare() != Compare::None && compare() != Compare::Chosen &&
        QDateTime::currentMSecsSinceEpoch() - m_beforeAskedMs > BeforeRefreshMs)
        askBefore();
    // A reply of one channel: the bin shown is drawn anew only when the channel is one of its cables.
    if (m_shownChannels.contains({first.station, first.channel}))
        scheduleRedraw();
}

void BinsTab::scheduleRedraw()
{
    if (!isVisible()) {
        m_dirty = true; // drawn when the tab is shown
        return;
    }
    m_redrawTimer.start();
}

void BinsTab::redraw()
{
    m_dirty = false;
    const bins::Bin* bin = currentBin();
    if (!bin) {
        m_model->show({}, std::nullopt, {});
        lblBinsSummary->setText(QStringLiteral("没有仓：尚无读数，也没有布局文件"));
        emit redrawn();
        return;
    }
    m_shownChannels.clear();
    for (const bins::Cable& cable : bin->cables)
        m_shownChannels.insert({cable.station, cable.channel});
    const report::ColourScale scale{m_settings.scaleLow, m_settings.scaleHigh};
    const bins::BinView view = bins::binView(*bin, shownReadings());
    std::optional<bins::BinComparison> comparison;
    if (compare() != Compare::None && m_beforeReady)
        comparison = bins::compareReadings(view, bins::binView(*bin, m_before), m_settings.riseLimit);
    m_model->show(view, comparison, scale);

    if (cboBinsPlanLayer->count() != view.layerCount() + 1) {
        const QSignalBlocker blocker(cboBinsPlanLayer);
        cboBinsPlanLayer->clear();
        cboBinsPlanLayer->addItem(QStringLiteral("各电缆最高"));
        for (int layer = 1; layer <= view.layerCount(); ++layer)
            cboBinsPlanLayer->addItem(QStringLiteral("第%1层").arg(layer));
    }
    m_plan->show(view, scale, std::max(0, cboBinsPlanLayer->currentIndex()));

    const bins::Figures& f = view.whole;
    QString summary = QStringLiteral("%1  最高 %2   最低 %3   平均 %4 °C   有值 %5   故障 %6")
                          .arg(bin->name, figureWithPlace(view, f.highest), figureWithPlace(view, f.lowest),
                               report::celsiusText(f.average))
                          .arg(f.values)
                          .arg(f.faults);
    summary += view.newestMs ? QStringLiteral("   读数时间 %1").arg(report::reportTime(view.newestMs))
                             : QStringLiteral("   尚无读数");
    if (comparison)
        summary += QStringLiteral("\n对比 %1 的读数：平均变化 %2 °C，最高变化 %3 °C，%4 个测点升温超过 %5 °C")
                       .arg(report::reportTime(m_beforeAtMs), signedText(comparison->averageChange),
                            signedText(comparison->highestChange))
                       .arg(comparison->risenCount)
                       .arg(report::celsiusText(m_settings.riseLimit));
    else if (compare() != Compare::None)
        summary += QStringLiteral("\n对比读数查询中…");
    lblBinsSummary->setText(summary);

    // Bin against bin: their averages and highest values side by side.
    const bins::BinLayout& all = layout();
    tblBinsAll->setRowCount(int(all.bins.size()));
    for (int i = 0; i < all.bins.size(); ++i) {
        const bins::BinView other = bins::binView(all.bins[i], shownReadings());
        const QStringList texts{all.bins[i].name, report::celsiusText(other.whole.average),
                                figureWithPlace(other, other.whole.highest),
                                report::celsiusText(other.whole.lowest ? std::optional<double>(other.whole.lowest->celsius)
                                                                        : std::nullopt),
                                QString::number(other.whole.faults)};
        for (int column = 0; column < texts.size(); ++column) {
            QTableWidgetItem* item = tblBinsAll->item(i, column);
            if (!item) {
                item = new QTableWidgetItem;
                tblBinsAll->setItem(i, column, item);
            }
            if (item->text() != texts[column])
                item->setText(texts[column]);
        }
    }
    emit redrawn();
}

void BinsTab::askChosen()
{
    if (!m_queries)
        return;
    m_chosenAtMs = dtmBinsAt->dateTime().toMSecsSinceEpoch();
    m_chosenTicket = m_nextTicket++;
    m_queries->ask(m_chosenTicket, m_chosenAtMs);
    askBefore();
    showState(QStringLiteral("查询 %1 的读数…").arg(report::reportTime(m_chosenAtMs)));
}

void BinsTab::askBefore()
{
    m_beforeReady = false;
    if (!m_queries || compare() == Compare::None)
        return;
    const qint64 base = shownTimeMs();
    const qint64 at = compare() == Compare::Yesterday  ? base - Day
                      : compare() == Compare::LastWeek ? base - 7 * Day
                                                       : dtmBinsCompareAt->dateTime().toMSecsSinceEpoch();
    m_beforeAskedMs = QDateTime::currentMSecsSinceEpoch();
    m_beforeAtMs = at;
    m_beforeTicket = m_nextTicket++;
    m_queries->ask(m_beforeTicket, at);
}

void BinsTab::answered(int ticket, const history::NewestReadings& readings)
{
    if (!readings.ok) {
        showState(readings.errorText);
        if (ticket == m_reportTicket)
            emit dailyReportDone({}, readings.errorText);
        return;
    }
    if (ticket == m_liveTicket) {
        // Readings the window took meanwhile are newer and stay.
        m_live.add(readings.readings);
        if (!m_fileLayout) {
            // The default map grows to the stations, channels and positions the history names.
            for (const history::Reading& r : readings.readings)
                seedDefaultMap(r.station, r.channel, r.position);
            fillBinList();
        }
        scheduleRedraw();
    } else if (ticket == m_chosenTicket) {
        m_chosen = bins::SensorReadings();
        m_chosen.add(readings.readings);
        showState(readings.readings.isEmpty()
                      ? QStringLiteral("%1 之前一天内没有读数").arg(report::reportTime(m_chosenAtMs))
                      : QString());
        scheduleRedraw();
    } else if (ticket == m_beforeTicket) {
        m_before = bins::SensorReadings();
        m_before.add(readings.readings);
        m_beforeReady = true;
        scheduleRedraw();
    } else if (ticket == m_reportTicket) {
        bins::SensorReadings sensors;
        sensors.add(readings.readings);
        report::ReportContents contents;
        contents.site = m_settings.site;
        contents.scale = {m_settings.scaleLow, m_settings.scaleHigh};
        contents.atMs = m_reportAtMs;
        contents.madeAtMs = QDateTime::currentMSecsSinceEpoch();
        const bins::BinLayout map = m_fileLayout ? *m_fileLayout : bins::defaultLayout(readings.readings);
        for (const bins::Bin& bin : map.bins)
            contents.bins.append(bins::binView(bin, sensors));
        const QString folder = QDir(m_folder).filePath(bins::kReportsFolderName);
        const int keepDays = m_settings.keepDays;
        // Drawn in a thread of its own: ten bins of 1600 sensors take a while.
        QThread* writer = QThread::create([this, contents, folder, keepDays] {
            QStringList files;
            QString problem;
            if (!QDir().mkpath(folder))
                problem = QStringLiteral("无法建立报表文件夹“%1”").arg(QDir::toNativeSeparators(folder));
            const QString stamp = QDateTime::fromMSecsSinceEpoch(contents.atMs).toString(QStringLiteral("yyyy-MM-dd_HHmm"));
            for (int i = 0; problem.isEmpty() && i < contents.bins.size(); ++i) {
                report::ReportContents one = contents;
                one.bins = {contents.bins[i]};
                const QString base =
                    QDir(folder).filePath(QStringLiteral("%1_%2").arg(stamp, fileNamePart(contents.bins[i].bin.name)));
                if (report::writeReportPdf(base + QStringLiteral(".pdf"), one, &problem) &&
                    report::writeReportCsv(base + QStringLiteral(".csv"), one, &problem))
                    files << base + QStringLiteral(".pdf") << base + QStringLiteral(".csv");
            }
            // Reports older than the days kept go.
            const QDateTime oldest = QDateTime::currentDateTime().addDays(-keepDays);
            QDirIterator it(folder, {QStringLiteral("*.pdf"), QStringLiteral("*.csv")}, QDir::Files);
            while (it.hasNext()) {
                it.next();
                if (it.fileInfo().lastModified() < oldest)
                    QFile::remove(it.filePath());
            }
            QMetaObject::invokeMethod(this, [this, files, problem] {
                showState(problem.isEmpty() ? QStringLiteral("每日报表已写入 %1 个文件").arg(files.size()) : problem);
                emit dailyReportDone(files, problem);
            });
        });
        connect(writer, &QThread::finished, writer, &QObject::deleteLater);
        m_reportWriter = writer;
        writer->start();
    }
}

void BinsTab::makeDailyReport()
{
    armDailyReport();
    if (!m_queries || m_reportWriter)
        return; // the one being written is today's
    m_reportAtMs = QDateTime::currentMSecsSinceEpoch();
    m_reportTicket = m_nextTicket++;
    m_queries->ask(m_reportTicket, m_reportAtMs);
}

void BinsTab::armDailyReport()
{
    m_dailyTimer.stop();
    if (m_settings.reportTime)
        m_dailyTimer.start(int(bins::msUntilNext(QDateTime::currentDateTime(), *m_settings.reportTime)));
}

void BinsTab::settingsChanged()
{
    if (spnBinsHigh->value() <= spnBinsLow->value())
        return; // not a scale: kept until the ends are right
    m_settings.scaleLow = spnBinsLow->value();
    m_settings.scaleHigh = spnBinsHigh->value();
    m_settings.riseLimit = spnBinsRise->value();
    m_legend->setScale({m_settings.scaleLow, m_settings.scaleHigh});
    scheduleRedraw();
}

void BinsTab::saveSettings()
{
    if (spnBinsHigh->value() <= spnBinsLow->value()) {
        showState(QStringLiteral("色标的上限应高于下限，设置未保存"));
        return;
    }
    settingsChanged();
    m_settings.site = txtBinsSite->text().trimmed().isEmpty() ? QStringLiteral("站点") : txtBinsSite->text().trimmed();
    m_settings.reportTime = chkBinsDaily->isChecked() ? std::optional<QTime>(tmeBinsDaily->time()) : std::nullopt;
    m_settings.keepDays = spnBinsKeepDays->value();
    armDailyReport();
    if (!bins::saveBinsSettings(m_folder, m_settings))
        showState(QStringLiteral("无法写入设置文件“%1”，设置未保存").arg(QDir::toNativeSeparators(
            config::settingsFilePath(m_folder, bins::kBinsSetName))));
    else
        showState(QStringLiteral("设置已保存"));
}

report::ReportContents BinsTab::shownReport() const
{
    report::ReportContents contents;
    contents.site = m_settings.site;
    contents.scale = {m_settings.scaleLow, m_settings.scaleHigh};
    contents.atMs = shownTimeMs();
    contents.madeAtMs = QDateTime::currentMSecsSinceEpoch();
    for (const bins::Bin& bin : layout().bins) {
        if (bin.name == cboBinsBin->currentText())
            contents.bins.append(bins::binView(bin, shownReadings()));
    }
    return contents;
}

void BinsTab::chooseFile(bool pdf)
{
    const QString name = QStringLiteral("%1_%2.%3")
                             .arg(QDateTime::fromMSecsSinceEpoch(shownTimeMs()).toString(QStringLiteral("yyyy-MM-dd_HHmm")),
                                  fileNamePart(cboBinsBin->currentText()), pdf ? QStringLiteral("pdf") : QStringLiteral("csv"));
    auto* dialog = new QFileDialog(this, pdf ? QStringLiteral("保存报表 PDF") : QStringLiteral("保存报表 CSV"),
                                   QDir(m_folder).filePath(name),
                                   pdf ? QStringLiteral("PDF (*.pdf)") : QStringLiteral("CSV (*.csv)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The contents are those shown when the button was clicked.
    const report::ReportContents contents = shownReport();
    connect(dialog, &QFileDialog::fileSelected, this, [this, contents, pdf](const QString& path) {
        QString problem;
        const bool written = pdf ? report::writeReportPdf(path, contents, &problem)
                                 : report::writeReportCsv(path, contents, &problem);
        showState(written ? QStringLiteral("报表已写入 %1").arg(QDir::toNativeSeparators(path)) : problem);
    });
    dialog->open();
}

void BinsTab::print()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    auto* dialog = new QPrintDialog(printer.get(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const report::ReportContents contents = shownReport();
    connect(dialog, &QDialog::accepted, this, [printer, contents] { report::paintReport(*printer, contents); });
    dialog->open();
}

void BinsTab::openLayoutEditor()
{
    const config::FileText file =
        config::readSettingsFile(config::settingsFilePath(m_folder, bins::kLayoutSetName), bins::kLayoutFileBytes);
    // Without a file the editor starts from the map in use.
    const QByteArray text = file.status == config::SettingsLoad::Ok ? file.bytes : bins::formatLayoutFile(layout());
    auto* editor = new LayoutEditor(m_folder, text, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &LayoutEditor::saved, this, [this] {
        loadLayout();
        showState(QStringLiteral("布局已保存"));
    });
    editor->open();
}

void BinsTab::showState(const QString& text)
{
    QStringList lines;
    for (const QString& problem : {m_layoutProblem, m_settingsProblem, text}) {
        if (!problem.isEmpty())
            lines << problem;
    }
    m_lastState = lines.join(QLatin1Char('\n'));
    lblBinsState->setStyleSheet(m_layoutProblem.isEmpty() && m_settingsProblem.isEmpty() ? QString()
                                                                                          : QStringLiteral("color: #b00000"));
    lblBinsState->setText(m_lastState);
}

QString BinsTab::loadProblems() const
{
    QStringList problems;
    for (const QString& problem : {m_layoutProblem, m_settingsProblem}) {
        if (!problem.isEmpty())
            problems << problem;
    }
    return problems.join(QLatin1Char('\n'));
}

QString BinsTab::stateText() const
{
    return m_lastState;
}
