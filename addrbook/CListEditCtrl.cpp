#include "addrbook/CListEditCtrl.h"

CListEditCtrl::CListEditCtrl(QWidget* parent, int rightLimit)
    : QLineEdit(parent)
    , m_rightLimit(rightLimit)
{
    setFrame(true);
    connect(this, &QLineEdit::textEdited, this, &CListEditCtrl::grow);
}

void CListEditCtrl::grow()
{
    const int wanted = fontMetrics().horizontalAdvance(text()) + 5 + 2 * frameGeometry().height() / 4;
    if (wanted <= width())
        return;
    resize(std::min(wanted, std::max(width(), m_rightLimit - x())), height());
}
