// Draws the cells of a CSuperGridCtrl and hosts its in-place edit box.
#pragma once

#include <QStyledItemDelegate>

namespace velkor {

class CSuperGridCtrl;

class SuperGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit SuperGridDelegate(CSuperGridCtrl& grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void paintTreeCell(QPainter* p, const QRect& cell, const QModelIndex& index) const;
    CSuperGridCtrl& m_grid;
};

} // namespace velkor
