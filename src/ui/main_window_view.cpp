// The view: the form inside a scroll area that fills a resizable window, and
// the zoom that scales the whole form, kept in view.set.

#include "main_window.h"

#include "form_zoom.h"
#include "history_tab.h"
#include "program_folder.h"
#include "value_cell_font.h"

#include "config/view_settings.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

namespace {
// What a window manager adds around the window (title bar, borders); it is
// known only once the window is shown, and a window sized before then must
// leave room for it on the screen.
constexpr QSize FrameAllowance(16, 64);
} // namespace

QWidget* MainWindow::createFormView()
{
    m_formView = new QScrollArea(this);
    m_formView->setObjectName(QStringLiteral("scrFormView"));
    m_formView->setFrameShape(QFrame::NoFrame);
    // A window larger than the form shows it at its top left, at its own size:
    // every control stays where it was while the window is resized or
    // maximised (centred, they would all move), and a larger form is the zoom's
    // business, not stretching's.
    m_formView->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Tab goes from control to control as before; the area follows the focus.
    m_formView->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_formView);
    auto* form = new QWidget;
    form->setObjectName(QStringLiteral("frmMainForm"));
    return form;
}

void MainWindow::showFormInView(QWidget* form)
{
    setWindowTitle(form->windowTitle());
    setWindowIcon(form->windowIcon());
    m_formView->setWidget(form);
    resize(form->size());

    m_zoom = std::make_unique<form::Zoom>(form);
    m_zoom->setAfterScaling([this] { fitNarrowedValueCells(); });
    // The history tab is no part of the form: its panels give some controls
    // widths in pixels (the choices beside the chart, the alarm limits), which
    // a larger font would not fit.
    m_zoom->leaveOut(m_historyTab);

    const auto shortcut = [this](QList<QKeySequence> keys, void (MainWindow::*act)()) {
        auto* key = new QShortcut(this);
        key->setKeys(keys);
        connect(key, &QShortcut::activated, this, act);
    };
    shortcut(QKeySequence::keyBindings(QKeySequence::ZoomIn) << QKeySequence(Qt::CTRL | Qt::Key_Equal),
             &MainWindow::zoomIn);
    shortcut(QKeySequence::keyBindings(QKeySequence::ZoomOut), &MainWindow::zoomOut);
    shortcut({QKeySequence(Qt::CTRL | Qt::Key_0)}, &MainWindow::resetZoom);
}

void MainWindow::restoreZoom()
{
    applyZoom(config::loadZoomPercent(programFolder()));
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    // As large as the form, as far as the screen allows; where it does not, the
    // other direction makes room for the scroll bar it then needs.
    const QSize room = screen->availableGeometry().size() - FrameAllowance;
    QSize wanted = m_formView->widget()->size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_formView);
    if (wanted.height() > room.height())
        wanted.rwidth() += bar;
    if (wanted.width() > room.width())
        wanted.rheight() += bar;
    resize(wanted.boundedTo(room));
}

void MainWindow::setZoomPercent(int percent)
{
    applyZoom(percent);
    if (!config::saveZoomPercent(programFolder(), m_zoomPercent))
        qWarning("tq5900k: the zoom could not be saved in %s",
                 qPrintable(config::settingsFilePath(programFolder(), config::kViewSetName)));
}

void MainWindow::zoomIn()
{
    setZoomPercent(config::nextZoomPercent(m_zoomPercent, 1));
}

void MainWindow::zoomOut()
{
    setZoomPercent(config::nextZoomPercent(m_zoomPercent, -1));
}

void MainWindow::resetZoom()
{
    setZoomPercent(config::kZoomDefaultPercent);
}

void MainWindow::applyZoom(int percent)
{
    percent = std::clamp(percent, config::kZoomMinPercent, config::kZoomMaxPercent);
    if (percent == m_zoomPercent)
        return;
    const double ratio = double(percent) / m_zoomPercent;
    m_zoomPercent = percent;
    m_zoom->setFactor(percent / 100.0);
    // The point of the form in the middle of the view stays there.
    for (QScrollBar* bar : {m_formView->horizontalScrollBar(), m_formView->verticalScrollBar()}) {
        const int half = bar->pageStep() / 2;
        bar->setValue(int(std::lround((bar->value() + half) * ratio)) - half);
    }
}

void MainWindow::fitNarrowedValueCells()
{
    // The grid takes the frame off the cells it cuts to a narrow column. Every
    // value box has the form's one font (the groups'), so a width decides.
    std::map<int, std::optional<QFont>> fonts;
    for (const QVector<QLineEdit*>& cells : txtValue) {
        for (QLineEdit* cell : cells) {
            if (cell->hasFrame())
                continue;
            auto known = fonts.find(cell->width());
            if (known == fonts.end())
                known =
                    fonts.emplace(cell->width(), fittedValueFont(cell->parentWidget()->font(), cell->width()))
                        .first;
            // Where no legible font fits the zoomed box, it keeps the zoom's.
            if (known->second && cell->font() != *known->second)
                cell->setFont(*known->second);
        }
    }
}
