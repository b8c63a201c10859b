// The in-place edit box of the tree grid: a single-line edit that grows with its text
// up to the grid's right edge.
#pragma once

#include <QLineEdit>

namespace velkor {

class CListEditCtrl : public QLineEdit {
    Q_OBJECT
public:
    CListEditCtrl(QWidget* parent, int rightLimit);

    // Fills the box with the cell's text, caret at the start and nothing selected, so
    // that the first key typed adds to the text instead of replacing it. Only the first
    // call counts: what the user types is never overwritten by a later change of the
    // cell (a report stamping Last Seen while the box is open).
    void load(const QString& text);
    // Puts the caret back at the start with nothing selected.
    void caretToStart();

private:
    void grow();
    int m_rightLimit;
    bool m_loaded = false;
};

} // namespace velkor
