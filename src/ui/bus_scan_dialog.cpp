#include "bus_scan_dialog.h"

#include "port/port_messages.h"

#include <QCheckBox>
#include <QHideEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int FirstStation = 1;
constexpr int LastStation = 249;

QString durationText(int seconds)
{
    return seconds < 60 ? QStringLiteral("%1秒").arg(seconds)
                        : QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60);
}
} // namespace

BusScanDialog::BusScanDialog(requests::RequestCore& core, QWidget* parent)
    : QDialog(parent), m_scanner(core)
{
    setObjectName(QStringLiteral("frmBusScan"));
    setWindowTitle(QStringLiteral("查找模块"));

    spnScanFirst = new QSpinBox;
    spnScanFirst->setObjectName(QStringLiteral("spnScanFirst"));
    spnScanLast = new QSpinBox;
    spnScanLast->setObjectName(QStringLiteral("spnScanLast"));
    for (QSpinBox* box : {spnScanFirst, spnScanLast})
        box->setRange(FirstStation, LastStation);
    spnScanFirst->setValue(FirstStation);
    spnScanLast->setValue(LastStation);

    auto* rates = new QHBoxLayout;
    for (int baud : acquisition::moduleBaudRates()) {
        auto* box = new QCheckBox(QString::number(baud));
        box->setObjectName(QStringLiteral("chkScanBaud%1").arg(baud));
        box->setChecked(true);
        chkScanBauds.append(box);
        rates->addWidget(box);
    }
    rates->addStretch();

    cmdScanStart = new QPushButton(QStringLiteral("开始查找"));
    cmdScanStart->setObjectName(QStringLiteral("cmdScanStart"));
    cmdScanStop = new QPushButton(QStringLiteral("停止"));
    cmdScanStop->setObjectName(QStringLiteral("cmdScanStop"));
    cmdScanUse = new QPushButton(QStringLiteral("使用此模块"));
    cmdScanUse->setObjectName(QStringLiteral("cmdScanUse"));
    prgScan = new QProgressBar;
    prgScan->setObjectName(QStringLiteral("prgScan"));
    prgScan->setFormat(QStringLiteral("%v / %m"));
    lblScanState = new QLabel(QStringLiteral("查找线路上的模块：每个站号在每个波特率下询问一次"));
    lblScanState->setObjectName(QStringLiteral("lblScanState"));
    lblScanState->setWordWrap(true);
    tblScanFound = new QTableWidget(0, 3);
    tblScanFound->setObjectName(QStringLiteral("tblScanFound"));
    tblScanFound->setHorizontalHeaderLabels(
        {QStringLiteral("站号"), QStringLiteral("波特率"), QStringLiteral("应答的通道数")});
    tblScanFound->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblScanFound->setSelectionMode(QAbstractItemView::SingleSelection);
    tblScanFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblScanFound->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblScanFound->verticalHeader()->hide();

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(QStringLiteral("站号从")), 0, 0);
    form->addWidget(spnScanFirst, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("到")), 0, 2);
    form->addWidget(spnScanLast, 0, 3);
    form->addWidget(new QLabel(QStringLiteral("波特率")), 1, 0);
    form->addLayout(rates, 1, 1, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdScanStart);
    buttons->addWidget(cmdScanStop);
    buttons->addStretch();
    buttons->addWidget(cmdScanUse);
    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addLayout(buttons);
    page->addWidget(prgScan);
    page->addWidget(lblScanState);
    page->addWidget(tblScanFound);
    resize(460, 420);

    connect(cmdScanStart, &QPushButton::clicked, this, &BusScanDialog::startScan);
    connect(cmdScanStop, &QPushButton::clicked, &m_scanner, &acquisition::BusScanner::cancel);
    connect(cmdScanUse, &QPushButton::clicked, this, &BusScanDialog::useChosen);
    connect(tblScanFound, &QTableWidget::itemSelectionChanged, this,
            [this] { cmdScanUse->setEnabled(!m_scanner.running() && tblScanFound->currentRow() >= 0); });
    connect(&m_scanner, &acquisition::BusScanner::progress, this, [this](int done, int total) {
        prgScan->setMaximum(total);
        prgScan->setValue(done);
    });
    connect(&m_scanner, &acquisition::BusScanner::moduleFound, this, &BusScanDialog::onFound);
    connect(&m_scanner, &acquisition::BusScanner::finished, this, &BusScanDialog::onFinished);
    setRunning(false);
}

void BusScanDialog::startScan()
{
    if (spnScanLast->value() < spnScanFirst->value()) {
        lblScanState->setText(QStringLiteral("站号范围：“到”不能小于“从”"));
        return;
    }
    QList<int> stations;
    for (int s = spnScanFirst->value(); s <= spnScanLast->value(); ++s)
        stations.append(s);
    QList<int> bauds;
    for (QCheckBox* box : chkScanBauds)
        if (box->isChecked())
            bauds.append(box->text().toInt());
    if (bauds.isEmpty()) {
        lblScanState->setText(QStringLiteral("波特率：请至少选择一个"));
        return;
    }
    m_found.clear();
    tblScanFound->setRowCount(0);
    if (!m_scanner.start(stations, bauds)) {
        lblScanState->setText(port::portNotOpenText());
        return;
    }
    if (!m_scanner.running())
        return; // it ended at once: the line refused the rate
    int seconds = 0;
    for (int baud : bauds)
        seconds += int(stations.size()) * acquisition::scanProbeDeadlineMs(baud);
    seconds = (seconds + 999) / 1000;
    lblScanState->setText(QStringLiteral("正在查找……最多约需%1").arg(durationText(seconds)));
    setRunning(true);
}

void BusScanDialog::onFound(const acquisition::ScanFinding& finding)
{
    m_found.append(finding);
    const int row = tblScanFound->rowCount();
    tblScanFound->insertRow(row);
    const QStringList cells{QString::number(finding.station), QString::number(finding.baud),
                            QString::number(finding.channels)};
    for (int column = 0; column < cells.size(); ++column)
        tblScanFound->setItem(row, column, new QTableWidgetItem(cells[column]));
}

void BusScanDialog::onFinished(bool complete)
{
    setRunning(false);
    const QString found = QStringLiteral("找到%1个模块").arg(m_found.size());
    lblScanState->setText(complete ? QStringLiteral("查找结束：") + found
                                   : QStringLiteral("查找已停止：") + found);
    if (!m_found.isEmpty() && tblScanFound->currentRow() < 0)
        tblScanFound->selectRow(0);
}

void BusScanDialog::useChosen()
{
    const int row = tblScanFound->currentRow();
    if (row < 0 || row >= m_found.size() || m_scanner.running())
        return;
    Q_EMIT moduleChosen(m_found[row].station, m_found[row].baud);
}

void BusScanDialog::setRunning(bool running)
{
    cmdScanStart->setEnabled(!running);
    cmdScanStop->setEnabled(running);
    cmdScanUse->setEnabled(!running && tblScanFound->currentRow() >= 0);
    spnScanFirst->setEnabled(!running);
    spnScanLast->setEnabled(!running);
    for (QCheckBox* box : chkScanBauds)
        box->setEnabled(!running);
}

void BusScanDialog::hideEvent(QHideEvent* event)
{
    // Closed (or Esc), the scan stops: its probes would only hold the line.
    m_scanner.cancel();
    QDialog::hideEvent(event);
}
