#include "addrbook/view/CSuperGridCtrl.h"

#include "addrbook/view/CListEditCtrl.h"
#include "addrbook/view/SuperGridDelegate.h"
#include "addrbook/view/SuperGridModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace velkor {

namespace {
// Shows the wait cursor and stops repainting while a longer tree operation runs.
class BusyScope {
public:
    BusyScope(QWidget& w, bool waitCursor)
        : m_w(w)
        , m_cursor(waitCursor)
        , m_wasEnabled(w.updatesEnabled())
    {
        if (m_cursor)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        m_w.setUpdatesEnabled(false);
    }
    ~BusyScope()
    {
        m_w.setUpdatesEnabled(m_wasEnabled);
        if (m_cursor)
            QApplication::restoreOverrideCursor();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    QWidget& m_w;
    bool m_cursor;
    bool m_wasEnabled;
};
} // namespace

CSuperGridCtrl::CSuperGridCtrl(std::unique_ptr<GridTree> tree, QWidget* parent)
    : QTableView(parent)
    , m_tree(std::move(tree))
{
    m_model = std::make_unique<SuperGridModel>(*m_tree);
    m_model->setCommitFunction([this](int row, int column, const QString& text) {
        if (TreeItem* node = NodeOfRow(row))
            CommitCellText(node, row, column, text);
    });
    setModel(m_model.get());
    m_delegate = new SuperGridDelegate(*this);
    setItemDelegate(m_delegate);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFocusPolicy(Qt::StrongFocus);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    updateRowHeight();

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            m_curSubItem = current.column();
    });
}

CSuperGridCtrl::~CSuperGridCtrl()
{
    // The view lets go of the model before the model and then the tree are destroyed.
    setModel(nullptr);
}

void CSuperGridCtrl::updateRowHeight()
{
    const QFontMetrics fm(font());
    verticalHeader()->setDefaultSectionSize(std::max(fm.height() + fm.leading() + 4, m_imageSize.height()));
}

void CSuperGridCtrl::InsertColumn(int index, const QString& header, int width, velkor::AddrField field,
                                  Qt::Alignment alignment)
{
    m_model->addColumn(index, header, alignment, field);
    setColumnWidth(index, width);
}

void CSuperGridCtrl::SetImageList(std::vector<QPixmap> images)
{
    m_images = std::move(images);
    if (!m_images.empty())
        m_imageSize = m_images.front().size();
    updateRowHeight();
    viewport()->update();
}

void CSuperGridCtrl::SetCheckBoxes(bool on)
{
    m_checkBoxes = on;
    viewport()->update();
}

CSuperGridCtrl::CTreeItem* CSuperGridCtrl::GetSelectedNode() const
{
    return NodeOfRow(GetSelectedRow());
}

int CSuperGridCtrl::GetSelectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CSuperGridCtrl::SelectRow(int row)
{
    if (row < 0 || row >= m_tree->GetRowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const int column = std::clamp(m_curSubItem, 0, std::max(0, m_model->columnCount() - 1));
    selectionModel()->setCurrentIndex(m_model->index(row, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CSuperGridCtrl::SetCurrentColumn(int column)
{
    if (column < 0 || column >= m_model->columnCount())
        return;
    m_curSubItem = column;
    const int row = GetSelectedRow();
    if (row >= 0) {
        const QModelIndex idx = m_model->index(row, column);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        scrollTo(idx);
    }
    viewport()->update();
}

void CSuperGridCtrl::moveCurrentColumn(int delta)
{
    const int column = m_curSubItem + delta;
    if (column < 0 || column >= m_model->columnCount())
        return;
    SetCurrentColumn(column);
}

bool CSuperGridCtrl::Expand(TreeItem* node)
{
    return m_tree->Expand(node);
}

bool CSuperGridCtrl::Collapse(TreeItem* node)
{
    BusyScope busy(*this, false);
    return m_tree->Collapse(node);
}

void CSuperGridCtrl::ExpandAll(TreeItem* node)
{
    BusyScope busy(*this, true);
    m_tree->ExpandAll(node);
}

void CSuperGridCtrl::DeleteNode(TreeItem* node)
{
    if (!node)
        return;
    const int row = node->row;
    {
        BusyScope busy(*this, false);
        m_tree->DeleteNode(node);
    }
    if (row < 0)
        return;
    if (row == 0)
        selectionModel()->clearSelection();
    else
        SelectRow(std::min(row, m_tree->GetRowCount() - 1));
}

void CSuperGridCtrl::SelectNode(TreeItem* node)
{
    if (!node)
        return;
    const bool editing = state() == QAbstractItemView::EditingState;
    {
        BusyScope busy(*this, !editing);
        m_tree->ShowNode(node);
        if (editing && node->IsShown()) {
            m_pendingSelect = m_model->index(node->row, 0);
            selectionModel()->select(m_pendingSelect, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else {
            SelectRow(node->row);
        }
    }
    if (node->IsShown() && !editing)
        scrollTo(m_model->index(node->row, 0));
}

void CSuperGridCtrl::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    if (!m_pendingSelect.isValid())
        return;
    const int row = m_pendingSelect.row();
    m_pendingSelect = QPersistentModelIndex();
    SelectRow(row);
    scrollTo(m_model->index(row, 0));
}

void CSuperGridCtrl::CommitOpenEditor()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    // The edit boxes are the viewport's children; commitData ignores any other widget.
    const auto children = viewport()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* editor : children) {
        if (!editor->isVisible())
            continue;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

bool CSuperGridCtrl::EditCell(int row, int column)
{
    const QModelIndex idx = m_model->index(row, column);
    if (!idx.isValid() || !(m_model->flags(idx) & Qt::ItemIsEditable))
        return false;
    scrollTo(idx);
    edit(idx);
    // The view selects the whole text of a line edit it opens; the edit box opens with
    // the caret at the start instead.
    if (auto* box = qobject_cast<CListEditCtrl*>(indexWidget(idx)))
        box->caretToStart();
    return state() == QAbstractItemView::EditingState;
}

CSuperGridCtrl::RowGeometry CSuperGridCtrl::GeometryOfRow(int row) const
{
    RowGeometry g;
    const TreeItem* node = NodeOfRow(row);
    if (!node)
        return g;
    g.cell = visualRect(m_model->index(row, 0));
    const int w = m_imageSize.width();
    const int h = m_imageSize.height();
    const int midY = g.cell.top() + g.cell.height() / 2;
    if (node->HasChildren()) {
        const QSize box(w / 2 + 3, h / 2 + 3);
        const int cx = g.cell.left() + (node->indent - 1) * w + w / 2;
        g.expandBox = QRect(QPoint(cx - box.width() / 2, midY - box.height() / 2), box);
    }
    g.image = QRect(g.cell.left() + node->indent * w, midY - h / 2, w, h);
    g.textLeft = g.image.right() + 1;
    if (m_checkBoxes) {
        const int iw = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
        const int ih = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
        const int slot = std::max(w, iw + 2);
        g.checkBox = QRect(g.textLeft + (slot - iw) / 2, midY - ih / 2, iw, ih);
        g.textLeft += slot;
    }
    return g;
}

QString CSuperGridCtrl::ElideText(const QFontMetrics& fm, const QString& text, int width)
{
    if (fm.horizontalAdvance(text) <= width)
        return text;
    static const QString kDots = QStringLiteral("...");
    const int room = width - fm.horizontalAdvance(kDots);
    if (room <= 0)
        return kDots;
    // The advance grows with the prefix length, so the longest fitting prefix can be
    // found by bisection.
    qsizetype lo = 0;
    qsizetype hi = text.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (fm.horizontalAdvance(text.left(mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo > 0 && text.at(lo - 1).isHighSurrogate())
        --lo;
    return text.left(lo) + kDots;
}

int CSuperGridCtrl::NodeImage(const TreeItem*) const
{
    return 0;
}

void CSuperGridCtrl::CommitCellText(TreeItem* node, int, int column, const QString& text)
{
    m_tree->SetField(node, m_model->columnField(column), text.toStdString());
}

void CSuperGridCtrl::CellMouseDown(const HitInfo& hit)
{
    EditCell(hit.row, hit.column);
}

void CSuperGridCtrl::CheckByUser(TreeItem* node, bool)
{
    flipCheck(node);
}

void CSuperGridCtrl::flipCheck(TreeItem* node)
{
    if (!node)
        return;
    const bool on = !node->entry.checked;
    m_tree->SetCheck(node, on);
    if (node->HasChildren())
        m_tree->SetCheckDeep(node, on);
}

void CSuperGridCtrl::toggleByUser(TreeItem* node)
{
    if (!node || !node->HasChildren())
        return;
    const int row = node->row;
    BusyScope busy(*this, false);
    if (node->collapsed) {
        if (BeforeExpand(node, row) && m_tree->Expand(node))
            AfterExpand(node, row);
    } else {
        if (BeforeCollapse(node) && m_tree->Collapse(node))
            AfterCollapse(node);
    }
}

void CSuperGridCtrl::keyPressEvent(QKeyEvent* event)
{
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    TreeItem* node = GetSelectedNode();
    const int row = GetSelectedRow();
    switch (event->key()) {
    case Qt::Key_Left:
        moveCurrentColumn(-1);
        return;
    case Qt::Key_Right:
        moveCurrentColumn(+1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!EnterOnCell() && row >= 0)
            EditCell(row, m_curSubItem);
        return;
    case Qt::Key_Space:
        if (m_checkBoxes && node)
            CheckByUser(node, true);
        return;
    case Qt::Key_Delete:
        if (node && BeforeDelete(node, row))
            DeleteNode(node);
        return;
    case Qt::Key_Plus:
        if (keypad && node) {
            if (BeforeKeyExpand(node, row)) {
                BusyScope busy(*this, true);
                m_tree->Expand(node);
            }
            if (!node->collapsed && !node->children.empty())
                scrollTo(m_model->index(node->children.back()->row, 0));
            return;
        }
        break;
    case Qt::Key_Minus:
        if (keypad && node) {
            if (BeforeKeyCollapse(node, row)) {
                BusyScope busy(*this, true);
                if (m_tree->Collapse(node))
                    AfterCollapse(node);
            }
            return;
        }
        break;
    case Qt::Key_Asterisk:
        if (keypad && node) {
            if (BeforeExpandAll(node, row))
                ExpandAll(node);
            scrollTo(m_model->index(node->row, 0));
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void CSuperGridCtrl::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    const QModelIndex idx = indexAt(pos);
    HitInfo hit{idx.isValid() ? idx.row() : -1, idx.isValid() ? idx.column() : -1, pos};
    if (event->button() != Qt::LeftButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    if (!AllowMouseDown(hit))
        return;
    if (TreeItem* node = NodeOfRow(hit.row); node && hit.column == 0) {
        const RowGeometry g = GeometryOfRow(hit.row);
        if (m_checkBoxes && pos.x() >= g.image.left() && pos.x() < g.textLeft) {
            CheckByUser(node, false);
            return;
        }
        if (!g.expandBox.isEmpty() && g.expandBox.adjusted(-2, -2, 2, 2).contains(pos)) {
            toggleByUser(node);
            return;
        }
    }
    if (hit.column >= 0)
        m_curSubItem = hit.column;
    QTableView::mousePressEvent(event);
    if (hit.row >= 0)
        CellMouseDown(hit);
}

void CSuperGridCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex idx = indexAt(pos);
    const HitInfo hit{idx.isValid() ? idx.row() : -1, idx.isValid() ? idx.column() : -1, pos};
    if (event->button() != Qt::LeftButton || !AllowMouseDown(hit))
        return;
    toggleByUser(GetSelectedNode());
}

} // namespace velkor
