#include "form_zoom.h"

#include <QGroupBox>
#include <QTabWidget>
#include <algorithm>
#include <cmath>

namespace form {

namespace {

int scaledEdge(int edge, double factor)
{
    return int(std::lround(edge * factor));
}

// Visits the controls placed by coordinates inside `container`: its children
// unless a layout places them, and theirs inside tab pages, group boxes and
// plain panels.
void forEachPlaced(QWidget* container, const std::function<void(QWidget*)>& visit)
{
    if (container->layout())
        return;
    for (QObject* child : container->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow())
            continue;
        visit(w);
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                forEachPlaced(tabs->widget(i), visit);
        } else if (qobject_cast<QGroupBox*>(w) || w->metaObject() == &QWidget::staticMetaObject) {
            forEachPlaced(w, visit);
        }
    }
}

} // namespace

Zoom::Zoom(QWidget* root) : m_root(root), m_rootSize(root->size()), m_rootFont(root->font()) {}

QRect Zoom::scaled(const QRect& base, double factor)
{
    const int left = scaledEdge(base.x(), factor);
    const int top = scaledEdge(base.y(), factor);
    return QRect(left, top, scaledEdge(base.x() + base.width(), factor) - left,
                 scaledEdge(base.y() + base.height(), factor) - top);
}

QFont Zoom::scaled(const QFont& base, double factor)
{
    QFont font = base;
    if (base.pixelSize() > 0)
        font.setPixelSize(std::max(1, scaledEdge(base.pixelSize(), factor)));
    else
        font.setPointSizeF(base.pointSizeF() * factor);
    return font;
}

void Zoom::setFactor(double factor)
{
    if (factor == m_factor)
        return;
    if (m_factor == 1.0)
        record();
    m_factor = factor;
    m_root->resize(scaled(QRect(QPoint(), m_rootSize), factor).size());
    scaleControls(factor);
    if (factor == 1.0)
        m_bases.clear();
    if (m_afterScaling)
        m_afterScaling();
}

void Zoom::leaveOut(QWidget* widget)
{
    m_leftOut << widget;
    // A size of its own, which the root's no longer changes.
    widget->setFont(scaled(widget->font(), 1.0));
}

bool Zoom::isLeftOut(const QWidget* w) const
{
    return std::any_of(m_leftOut.cbegin(), m_leftOut.cend(), [w](const QPointer<QWidget>& out) {
        return out && (out == w || out->isAncestorOf(w));
    });
}

void Zoom::record()
{
    const QWidget* window = m_root->window();
    const auto ownFont = [window](const QWidget* w) {
        return w->testAttribute(Qt::WA_SetFont) && w->window() == window ? std::optional<QFont>(w->font())
                                                                         : std::nullopt;
    };
    const auto isRecorded = [this](QWidget* w) {
        const auto it = m_bases.constFind(w);
        return it != m_bases.cend() && it->widget == w;
    };
    forEachPlaced(m_root, [&](QWidget* w) {
        if (isRecorded(w))
            return;
        m_bases.insert(w, Base{w, w->geometry(), ownFont(w)});
    });
    // Widgets a layout places keep only their own fonts to scale.
    for (QWidget* w : m_root->findChildren<QWidget*>()) {
        if (isRecorded(w) || isLeftOut(w))
            continue;
        if (const std::optional<QFont> font = ownFont(w))
            m_bases.insert(w, Base{w, std::nullopt, font});
    }
}

void Zoom::scaleControls(double factor)
{
    // The root's font first: the others' explicit fonts are set over what it passes on.
    m_root->setFont(scaled(m_rootFont, factor));
    for (auto it = m_bases.begin(); it != m_bases.end();) {
        QWidget* w = it->widget;
        if (!w) { // destroyed since
            it = m_bases.erase(it);
            continue;
        }
        if (it->geometry)
            w->setGeometry(scaled(*it->geometry, factor));
        if (it->font)
            w->setFont(scaled(*it->font, factor));
        ++it;
    }
}

Zoom::AtBase::AtBase(Zoom& zoom) : m_zoom(zoom), m_factor(zoom.factor())
{
    if (m_factor == 1.0)
        return;
    m_zoom.scaleControls(1.0);
    m_zoom.m_bases.clear();
    m_zoom.m_factor = 1.0;
}

Zoom::AtBase::~AtBase()
{
    if (m_factor == 1.0)
        return;
    m_zoom.record();
    m_zoom.m_factor = m_factor;
    m_zoom.scaleControls(m_factor);
    if (m_zoom.m_afterScaling)
        m_zoom.m_afterScaling();
}

} // namespace form
