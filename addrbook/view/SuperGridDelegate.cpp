#include "addrbook/view/SuperGridDelegate.h"

#include "addrbook/view/CListEditCtrl.h"
#include "addrbook/view/CSuperGridCtrl.h"
#include "addrbook/view/SuperGridModel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace velkor {

namespace {
const QColor kLineColor(192, 192, 192);
const QColor kBoxBorder(198, 198, 198);

bool hasFollowingSibling(const TreeItem* node, const GridTree& tree)
{
    const auto& siblings = node->parent ? node->parent->children : tree.Roots();
    return !siblings.empty() && siblings.back().get() != node;
}
} // namespace

SuperGridDelegate::SuperGridDelegate(CSuperGridCtrl& grid)
    : QStyledItemDelegate(&grid)
    , m_grid(grid)
{
}

void SuperGridDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TreeItem* node = m_grid.Model().nodeAt(index);
    if (!node)
        return;
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    const QRect cell = option.rect;
    p->save();
    p->fillRect(cell, selected ? pal.highlight() : pal.base());
    p->setPen(selected ? pal.highlightedText().color() : pal.text().color());

    const bool current = selected && index.column() == m_grid.GetCurrentColumn();
    if (index.column() == 0)
        paintTreeCell(p, cell, index);
    if (current) {
        // The current cell; in column 0 only the text part, the tree stays visible.
        QRect r = cell;
        if (index.column() == 0)
            r.setLeft(m_grid.GeometryOfRow(index.row()).textLeft);
        p->fillRect(r, m_grid.CurrentCellColor());
        // A dotted focus frame of our own: some styles fill their focus frame with a
        // translucent tint, which would change the cell's colour.
        p->setPen(QPen(pal.highlightedText().color(), 1, Qt::DotLine));
        p->setBrush(Qt::NoBrush);
        p->drawRect(r.adjusted(0, 0, -1, -1));
        p->setPen(pal.highlightedText().color());
    }

    // A locked-out row: greyed (where it is not selected) and struck through.
    QFont font = option.font;
    if (const QVariant grey = index.data(Qt::ForegroundRole); grey.isValid()) {
        font.setStrikeOut(true);
        p->setFont(font);
        if (!selected)
            p->setPen(grey.value<QColor>());
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    const QFontMetrics fm(font);
    if (index.column() == 0) {
        const int left = m_grid.GeometryOfRow(index.row()).textLeft + 2;
        const QRect r(left, cell.top(), std::max(0, cell.right() - left - 4), cell.height());
        p->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    CSuperGridCtrl::ElideText(fm, text, r.width()));
    } else {
        const QRect r = cell.adjusted(6, 0, -6, 0);
        p->drawText(r, int(m_grid.Model().columnAlignment(index.column())) | Qt::AlignVCenter | Qt::TextSingleLine,
                    CSuperGridCtrl::ElideText(fm, text, cell.width() - 12));
    }
    p->restore();
}

void SuperGridDelegate::paintTreeCell(QPainter* p, const QRect& cell, const QModelIndex& index) const
{
    const TreeItem* node = m_grid.Model().nodeAt(index);
    const CSuperGridCtrl::RowGeometry g = m_grid.GeometryOfRow(index.row());
    const int step = m_grid.ImageSize().width();
    const int midY = cell.center().y();
    p->save();
    p->setClipRect(cell);

    // Tree lines: one vertical line per ancestor level that continues below this row,
    // then this node's own joint.
    p->setPen(QPen(kLineColor, 1));
    const int levelX0 = cell.left() + (node->indent - 1) * step + step / 2;
    for (const TreeItem* a = node->parent; a; a = a->parent) {
        if (hasFollowingSibling(a, m_grid.Tree())) {
            const int x = cell.left() + (a->indent - 1) * step + step / 2;
            p->drawLine(x, cell.top(), x, cell.bottom());
        }
    }
    const bool first = !node->parent && m_grid.Tree().Roots().front().get() == node;
    p->drawLine(levelX0, first ? midY : cell.top(), levelX0,
                hasFollowingSibling(node, m_grid.Tree()) ? cell.bottom() : midY);
    p->drawLine(levelX0, midY, g.image.left() - 1, midY);
    if (!node->collapsed && !node->children.empty()) {
        const int x = levelX0 + step;
        p->drawLine(x, midY, x, cell.bottom());
    }

    if (!g.expandBox.isEmpty()) {
        p->setPen(QPen(kBoxBorder, 1));
        p->setBrush(Qt::white);
        p->drawRect(g.expandBox.adjusted(0, 0, -1, -1));
        p->setPen(QPen(Qt::black, 1));
        const QPoint c = g.expandBox.center();
        const int arm = g.expandBox.width() / 2 - 2;
        p->drawLine(c.x() - arm, c.y(), c.x() + arm, c.y());
        if (node->collapsed)
            p->drawLine(c.x(), c.y() - arm, c.x(), c.y() + arm);
    }

    const int image = m_grid.NodeImage(node);
    const auto& images = m_grid.ImageList();
    if (image >= 0 && image < static_cast<int>(images.size()))
        p->drawPixmap(g.image.topLeft(), images[static_cast<size_t>(image)]);

    if (!g.checkBox.isEmpty()) {
        QStyleOptionButton box;
        box.rect = g.checkBox;
        box.state = QStyle::State_Enabled | (node->entry.checked ? QStyle::State_On : QStyle::State_Off);
        box.palette = m_grid.palette();
        m_grid.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, &m_grid);
    }
    p->restore();
}

QWidget* SuperGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* edit = new CListEditCtrl(parent, m_grid.viewport()->width()); // owned by parent
    edit->setFont(m_grid.font());
    edit->setAlignment(m_grid.Model().columnAlignment(index.column()) | Qt::AlignVCenter);
    return edit;
}

void SuperGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    static_cast<CListEditCtrl*>(editor)->load(index.data(Qt::EditRole).toString());
}

void SuperGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    model->setData(index, static_cast<CListEditCtrl*>(editor)->text(), Qt::EditRole);
}

void SuperGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const
{
    QRect r = option.rect;
    if (index.column() == 0)
        r.setLeft(m_grid.GeometryOfRow(index.row()).textLeft);
    editor->setGeometry(r);
}

bool SuperGridDelegate::eventFilter(QObject* object, QEvent* event)
{
    // The edit box ends here and nowhere else: Enter commits, Escape cancels, Tab ends
    // it like a loss of focus. None of them travels on to the grid, where Enter would
    // open the next edit box and Tab would walk into the next cell.
    if (event->type() == QEvent::KeyPress) {
        auto* editor = qobject_cast<QWidget*>(object);
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            return true;
        case Qt::Key_Escape:
            emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            return true;
        default:
            break;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace velkor
