#include "line_gutter.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

LineGutter::LineGutter(QTextEdit* gutter, QTextEdit* text, QObject* parent)
    : QObject(parent), m_gutter(gutter), m_text(text)
{
    connect(m_text->verticalScrollBar(), &QScrollBar::valueChanged, m_gutter->verticalScrollBar(),
            &QScrollBar::setValue);
    // The text's lines change height when it is laid out anew (new text, a new width, a new font).
    connect(m_text->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &LineGutter::align);
}

void LineGutter::align()
{
    if (m_aligning)
        return;
    m_aligning = true;
    QTextDocument* numbers = m_gutter->document();
    const QTextDocument* text = m_text->document();
    numbers->setDocumentMargin(text->documentMargin());
    QAbstractTextDocumentLayout* layout = text->documentLayout();
    QTextBlock line = text->begin();
    QTextCursor cursor(numbers);
    cursor.beginEditBlock();
    for (QTextBlock number = numbers->begin(); number.isValid(); number = number.next()) {
        QTextBlockFormat format = number.blockFormat();
        format.setTopMargin(0);
        format.setBottomMargin(0);
        if (line.isValid()) {
            format.setLineHeight(layout->blockBoundingRect(line).height(), QTextBlockFormat::FixedHeight);
            line = line.next();
        }
        cursor.setPosition(number.position());
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
    m_gutter->verticalScrollBar()->setValue(m_text->verticalScrollBar()->value());
    m_aligning = false;
}
