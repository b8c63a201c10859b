#include "addrbook/view/CAddrBookCtrl.h"

#include "addrbook/view/AddrBookImages.h"
#include "addrbook/view/SuperGridModel.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace velkor {

CAddrBookCtrl::CAddrBookCtrl(velkor::Notices& notices, QWidget* parent)
    : CSuperGridCtrl(std::make_unique<AddrBook>(notices), parent)
{
    SetImageList(makeAddrBookImages());
    SetCheckBoxes(true);
}

void CAddrBookCtrl::InitializeGrid()
{
    const QString headers[kColumnCount] = {QStringLiteral("Name"), QStringLiteral("Ident"), QStringLiteral("Comment"),
                                           QStringLiteral("Last Seen")};
    for (int c = 0; c < kColumnCount; ++c)
        InsertColumn(c, headers[c], kDesignWidths[c], kColumnFields[c]);
    // Rows that appear while a filter is set are filtered too, once the change is done.
    connect(&Model(), &QAbstractItemModel::rowsInserted, this, &CAddrBookCtrl::scheduleFilter);
    connect(&Model(), &QAbstractItemModel::layoutChanged, this, &CAddrBookCtrl::scheduleFilter);
    connect(&Model(), &QAbstractItemModel::dataChanged, this, &CAddrBookCtrl::scheduleFilter);
}

int CAddrBookCtrl::NeededWidth(int column) const
{
    const int header = horizontalHeader()->sectionSizeHint(column);
    // A cell's text is inset 6 pixels on each side (see the grid's drawing).
    const QFontMetrics fm(font());
    int widestDigit = 0;
    for (char d = '0'; d <= '9'; ++d)
        widestDigit = std::max(widestDigit, fm.horizontalAdvance(QLatin1Char(d)));
    const auto digits = [&](const char* pattern) {
        int width = 0;
        for (const char* c = pattern; *c; ++c)
            width += *c == '0' ? widestDigit : fm.horizontalAdvance(QLatin1Char(*c));
        return width + 12;
    };
    switch (column) {
    case kColIdent:
        return std::max(header, digits("0000000"));
    case kColLastSeen:
        return std::max(header, digits("0000/00/00 00:00:00"));
    default:
        return header;
    }
}

namespace {
int scaled(int designWidth, int baseX)
{
    // The design widths are pixels of a dialog font 6 pixels wide on average.
    return (designWidth * baseX + 3) / 6;
}
} // namespace

int CAddrBookCtrl::NeededGridWidth(int baseX) const
{
    int width = 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    for (int c = 0; c < kColumnCount; ++c) {
        const int design = scaled(kDesignWidths[c], baseX);
        const bool free = c == kColName || c == kColComment;
        width += std::max(NeededWidth(c), free ? design / 2 : design);
    }
    return width;
}

void CAddrBookCtrl::FitColumns(int baseX)
{
    int widths[kColumnCount];
    for (int c = 0; c < kColumnCount; ++c)
        widths[c] = std::max(NeededWidth(c), scaled(kDesignWidths[c], baseX));
    // Room for the vertical scroll bar at all times, so that the widths need not change
    // when the book grows past one screen.
    const int room = width() - 2 * frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // Name and Comment share what Ident and Last Seen leave of the grid, evenly, so that
    // the columns fill it; their texts are shortened with "..." where they must be.
    const int rest = room - widths[kColIdent] - widths[kColLastSeen];
    for (int c : {kColName, kColComment}) {
        const int floor = std::max(NeededWidth(c), scaled(kDesignWidths[c], baseX) / 2);
        widths[c] = std::max(floor, c == kColName ? (rest + 1) / 2 : rest / 2);
    }
    for (int c = 0; c < kColumnCount; ++c)
        setColumnWidth(c, widths[c]);
}

bool CAddrBookCtrl::contains(const TreeItem* node, const QString& text)
{
    if (!node)
        return false;
    for (const std::string* field : {&node->entry.name, &node->entry.ident, &node->entry.comment})
        if (QString::fromStdString(*field).contains(text, Qt::CaseInsensitive))
            return true;
    return false;
}

bool CAddrBookCtrl::markMatches(TreeItem* node, bool ancestorMatches, std::vector<TreeItem*>& matches,
                                std::unordered_set<const TreeItem*>& visible) const
{
    const bool self = contains(node, m_filter);
    bool below = false;
    for (const auto& child : node->children)
        below = markMatches(child.get(), ancestorMatches || self, matches, visible) || below;
    if (self)
        matches.push_back(node);
    // A revealed unit brings its system and fleet, as a match does.
    const bool revealed = node == m_revealed;
    if (self || below || ancestorMatches || revealed)
        visible.insert(node);
    return self || below || revealed;
}

void CAddrBookCtrl::SetFilter(const QString& text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    m_revealed = nullptr;
    applyFilter();
}

void CAddrBookCtrl::scheduleFilter()
{
    if (m_filter.isEmpty() || m_filterScheduled)
        return;
    m_filterScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_filterScheduled = false;
        applyFilter();
    });
}

void CAddrBookCtrl::applyFilter()
{
    const int rows = Model().rowCount();
    if (m_filter.isEmpty()) {
        for (int r = 0; r < rows; ++r)
            setRowHidden(r, false);
        return;
    }
    std::vector<TreeItem*> matches;
    std::unordered_set<const TreeItem*> visible;
    for (const auto& root : Book().Roots())
        markMatches(root.get(), false, matches, visible);
    // Every match gets a row: its collapsed ancestors open (nothing is sorted or
    // collapsed, so the book's order stays as it is).
    {
        const bool updates = updatesEnabled();
        setUpdatesEnabled(false);
        for (TreeItem* match : matches)
            Book().ShowNode(match);
        setUpdatesEnabled(updates);
    }
    for (int r = 0; r < Model().rowCount(); ++r)
        setRowHidden(r, !visible.count(NodeOfRow(r)));
}

int CAddrBookCtrl::IsAddrChecked(const velkor_address_s& a, int select)
{
    TreeItem* unit = nullptr;
    const int result = Book().IsAddrChecked(a, &unit);
    if (result == 1 && select) {
        // A followed unit is shown even when the filter would hide it: the user sees
        // whom the scanner follows.
        if (!m_filter.isEmpty() && unit) {
            m_revealed = unit;
            SelectNode(unit);
            // With its system and fleet: a unit row alone does not say whose it is.
            for (const TreeItem* node = unit; node; node = node->parent)
                if (node->IsShown())
                    setRowHidden(node->row, false);
        } else {
            SelectNode(unit);
        }
    }
    return result;
}

int CAddrBookCtrl::NodeImage(const TreeItem* node) const
{
    if (!node)
        return -1;
    return node->indent == 1 ? kImageSystem : node->indent == 2 ? kImageFleet : kImageUnit;
}

void CAddrBookCtrl::CommitCellText(TreeItem* node, int, int column, const QString& text)
{
    if (column >= 0 && column < kColumnCount)
        Book().CommitField(node, kColumnFields[column], text.toStdString());
}

void CAddrBookCtrl::CellMouseDown(const HitInfo&)
{
    // A click only selects and makes the column current; editing is by keyboard.
    // (A drop-down column would open here; the address book has none.)
}

bool CAddrBookCtrl::BeforeDelete(TreeItem* node, int)
{
    // Every deletion is allowed; a revealed unit in the deleted subtree is forgotten.
    for (const TreeItem* n = m_revealed; n; n = n->parent)
        if (n == node)
            m_revealed = nullptr;
    return true;
}

bool CAddrBookCtrl::AfterCollapse(TreeItem* node)
{
    // Nodes added while the node was open were appended; now they take their places.
    Book().SortChildren(node, false);
    return true;
}

bool CAddrBookCtrl::EnterOnCell()
{
    // The Ident opens nothing; every other cell opens its edit box.
    return GetSelectedNode() && GetCurrentColumn() == kColIdent;
}

} // namespace velkor
