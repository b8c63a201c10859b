// The in-place edit box of the tree grid: a single-line edit that grows with its text
// up to the grid's right edge.
#pragma once

#include <QLineEdit>

class CListEditCtrl : public QLineEdit {
    Q_OBJECT
public:
    CListEditCtrl(QWidget* parent, int rightLimit);

private:
    void grow();
    int m_rightLimit;
};
