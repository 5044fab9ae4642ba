// The line's tuning (line.set): loaded at start-up and given to the request
// core, shown on the 仪器设置 tab and edited in its dialog; and the line test
// on the traffic page.

#include "main_window.h"

#include "dialogs.h"
#include "line_settings_dialog.h"
#include "program_folder.h"
#include "traffic_panel.h"

#include "config/line_settings_file.h"

#include <QDir>

namespace {
QString lineSummaryText(const requests::LineTuning& t)
{
    QString text = QStringLiteral("应答超时 %1 ms，重试 %2 次，请求间隔 %3 ms，%4")
                       .arg(t.replyTimeoutMs)
                       .arg(t.retries)
                       .arg(t.gapMs)
                       .arg(t.echo ? QStringLiteral("丢弃回波") : QStringLiteral("无回波"));
    if (!t.address.isEmpty())
        text += QStringLiteral("，线路地址 %1").arg(t.address);
    return text;
}
} // namespace

void MainWindow::loadLineTuning()
{
    const config::LineSetLoad load = config::loadLineSet(programFolder());
    m_lineKept = load.content.kept;
    applyLineTuning(load.content.tuning);
    if (!load.errorText.isEmpty())
        dialogs::MsgBox(this, load.errorText, QStringLiteral("系统提示"), dialogs::Icon::Warning);
}

void MainWindow::applyLineTuning(const requests::LineTuning& tuning)
{
    m_requests->setLineTuning(tuning);
    lblLineSummary->setText(lineSummaryText(tuning));
}

bool MainWindow::keepLineTuning(const requests::LineTuning& tuning)
{
    const QString folder = programFolder();
    if (!config::saveLineSet(folder, tuning, m_lineKept)) {
        dialogs::MsgBox(this,
                        QStringLiteral("无法写入通讯线路设置文件“%1”，设置未保存。")
                            .arg(QDir::toNativeSeparators(config::settingsFilePath(folder, config::kLineSetName))),
                        QString(), dialogs::Icon::Warning);
        return false;
    }
    applyLineTuning(tuning);
    return true;
}

bool MainWindow::saveLineAddress(const QString& address)
{
    requests::LineTuning tuning = m_requests->lineTuning();
    if (tuning.address == address)
        return true;
    tuning.address = address;
    return keepLineTuning(tuning);
}

void MainWindow::openLineSettings()
{
    if (m_lineDialog) {
        m_lineDialog->raise();
        return;
    }
    m_lineDialog = new LineSettingsDialog(
        m_requests->lineTuning(), [this](const requests::LineTuning& tuning) { return keepLineTuning(tuning); },
        this);
    m_lineDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_lineDialog->setWindowModality(Qt::WindowModal);
    m_lineDialog->open(); // no event loop of its own: the line's timers run on
}

void MainWindow::startLineTest()
{
    if (m_lineTest->running())
        return;
    const std::optional<acquisition::TemperatureRequestFields> fields =
        readRequestBoxes(protocol::Rounding::CutOff, true);
    if (!fields)
        return;
    if (!m_lineTest->start(*fields, acquisition::kLineTestDefaultRequests)) {
        showPortNotOpen();
        return;
    }
    m_trafficPanel->showLineTestProgress(0, acquisition::kLineTestDefaultRequests);
}
