#include "group_box_style.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>

namespace {
constexpr int CaptionIndent = 7; // caption's left edge from the box's left edge
constexpr int CaptionPadding = 2;
} // namespace

GroupBoxStyle::GroupBoxStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

GroupBoxStyle* GroupBoxStyle::instance()
{
    static GroupBoxStyle* style = [] {
        auto* created = new GroupBoxStyle;
        created->setParent(qApp);
        return created;
    }();
    return style;
}

QRect GroupBoxStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                    const QWidget* widget) const
{
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box)
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const int captionHeight = box->text.isEmpty() ? 0 : option->fontMetrics.height();
    const QRect r = option->rect;
    switch (sub) {
    case SC_GroupBoxFrame:
        return r.adjusted(0, captionHeight / 2, 0, 0);
    case SC_GroupBoxLabel:
        return QRect(r.left() + CaptionIndent, r.top(),
                     option->fontMetrics.horizontalAdvance(box->text) + 2 * CaptionPadding, captionHeight);
    case SC_GroupBoxContents:
        return r.adjusted(1, qMax(captionHeight, 1), -1, -1);
    default:
        return QRect();
    }
}

void GroupBoxStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                       QPainter* painter, const QWidget* widget) const
{
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // A flat box without caption is a bare container: nothing to draw.
    if ((box->features & QStyleOptionFrame::Flat) && box->text.isEmpty())
        return;
    painter->save();
    painter->setPen(option->palette.color(QPalette::Mid));
    painter->drawRect(subControlRect(control, option, SC_GroupBoxFrame, widget).adjusted(0, 0, -1, -1));
    if (!box->text.isEmpty()) {
        const QRect caption = subControlRect(control, option, SC_GroupBoxLabel, widget);
        painter->fillRect(caption, option->palette.color(QPalette::Window));
        painter->setPen(option->palette.color(QPalette::WindowText));
        painter->drawText(caption, Qt::AlignCenter | Qt::TextShowMnemonic, box->text);
    }
    painter->restore();
}
