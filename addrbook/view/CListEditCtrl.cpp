#include "addrbook/view/CListEditCtrl.h"

namespace velkor {

CListEditCtrl::CListEditCtrl(QWidget* parent, int rightLimit)
    : QLineEdit(parent)
    , m_rightLimit(rightLimit)
{
    setFrame(true);
    connect(this, &QLineEdit::textEdited, this, &CListEditCtrl::grow);
}

void CListEditCtrl::load(const QString& text)
{
    if (m_loaded)
        return;
    m_loaded = true;
    setText(text);
    caretToStart();
}

void CListEditCtrl::caretToStart()
{
    deselect();
    setCursorPosition(0);
}

void CListEditCtrl::grow()
{
    // The text, 5 pixels, and what the frame and the inner margins take.
    const int chrome = width() - contentsRect().width() + textMargins().left() + textMargins().right() + 4;
    const int wanted = fontMetrics().horizontalAdvance(text()) + 5 + chrome;
    if (wanted <= width())
        return;
    resize(std::min(wanted, std::max(width(), m_rightLimit - x())), height());
}

} // namespace velkor
