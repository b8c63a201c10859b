#include "addrbook/view/CAddrBookCtrl.h"

#include "addrbook/view/AddrBookImages.h"
#include "addrbook/view/AddrBookUndo.h"
#include "addrbook/view/CListEditCtrl.h"
#include "addrbook/view/SuperGridModel.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velkor {

CAddrBookCtrl::CAddrBookCtrl(velkor::Notices& notices, QWidget* parent)
    : CSuperGridCtrl(std::make_unique<AddrBook>(notices), parent)
{
    SetImageList(makeAddrBookImages());
    SetCheckBoxes(true);
    m_undo = new QUndoStack(this);
    askYesNo = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("velkor"), question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    askText = [this](const QString& label) -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, QStringLiteral("velkor"), label, QLineEdit::Normal, {}, &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    };
    tellUser = [this](const QString& text) { QMessageBox::warning(this, QStringLiteral("velkor"), text); };
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
    if (column < 0 || column >= kColumnCount || !node || kColumnFields[column] == velkor::AddrField::Ident)
        return;
    const velkor::AddrField field = kColumnFields[column];
    if (node->entry.text(field) == text.toStdString())
        return; // an edit that changes nothing is no step
    m_undo->push(new EditStep(*this, identPathOf(node), field, text.toStdString(),
                              QStringLiteral("Edit %1").arg(Describe(node))));
}

void CAddrBookCtrl::CellMouseDown(const HitInfo&)
{
    // A click only selects and makes the column current; editing is by keyboard.
    // (A drop-down column would open here; the address book has none.)
}

bool CAddrBookCtrl::BeforeDelete(TreeItem* node, int)
{
    // The deletion is a step of the undo stack, after the question; the grid deletes
    // nothing itself.
    DeleteByUser(node);
    return false;
}

namespace {
const char* levelName(const TreeItem* node)
{
    return !node ? "system" : node->indent == 1 ? "system" : node->indent == 2 ? "fleet" : "unit";
}

// The units of a subtree (the node itself when it is one) whose tick is not on.
int unitsToChange(const TreeItem* node, bool on, bool all)
{
    if (node->indent >= 3)
        return all || node->entry.checked != on ? 1 : 0;
    int n = 0;
    for (const auto& child : node->children)
        n += unitsToChange(child.get(), on, all);
    return n;
}

QString unitCount(int n)
{
    return n == 1 ? QStringLiteral("1 unit") : QStringLiteral("%1 units").arg(n);
}
} // namespace

QString CAddrBookCtrl::Describe(const TreeItem* node)
{
    return QStringLiteral("%1 %2 \u201C%3\u201D")
        .arg(QLatin1String(levelName(node)), QString::fromStdString(node->entry.ident),
             QString::fromStdString(node->entry.name));
}

void CAddrBookCtrl::DeleteByUser(TreeItem* node)
{
    if (!node)
        return;
    QString question = QStringLiteral("Delete %1").arg(Describe(node));
    if (node->indent == 1)
        question += QStringLiteral(" with its %1 and %2 below it")
                        .arg(node->children.size() == 1 ? QStringLiteral("1 fleet")
                                                        : QStringLiteral("%1 fleets").arg(node->children.size()),
                             unitCount(unitsToChange(node, true, true)));
    else if (node->indent == 2)
        question += QStringLiteral(" with its %1").arg(unitCount(unitsToChange(node, true, true)));
    if (!askYesNo(question + QStringLiteral("?\n\nCtrl+Z brings it back.")))
        return;
    // A revealed unit in the deleted subtree is forgotten.
    for (const TreeItem* n = m_revealed; n; n = n->parent)
        if (n == node)
            m_revealed = nullptr;
    m_undo->push(new DeleteStep(*this, identPathOf(node), QStringLiteral("Delete %1").arg(Describe(node))));
}

void CAddrBookCtrl::CheckByUser(TreeItem* node, bool byKey)
{
    if (!node)
        return;
    const bool on = !node->entry.checked;
    const int units = unitsToChange(node, on, false);
    // A key may have been meant for a text: a tick of several units is asked for.
    if (byKey && node->indent < 3 && units > 1 &&
        !askYesNo(QStringLiteral("%1 %2 of %3?")
                      .arg(on ? QStringLiteral("Tick") : QStringLiteral("Untick"), unitCount(units), Describe(node))))
        return;
    m_undo->push(new TickStep(
        *this, identPathOf(node), on,
        QStringLiteral("%1 %2").arg(on ? QStringLiteral("Tick") : QStringLiteral("Untick"), Describe(node))));
}

velkor::Status CAddrBookCtrl::NewNode(TreeItem* parent, const QString& ident)
{
    const QString level = QLatin1String(parent ? parent->indent == 1 ? "fleet" : "unit" : "system");
    bool ok = false;
    const uint number = ident.trimmed().toUInt(&ok, 10);
    if (!ok || number == 0 || ident.trimmed().startsWith(QLatin1Char('0')) ||
        ident.trimmed().startsWith(QLatin1Char('+')))
        return velkor::fail(QStringLiteral("\u201C%1\u201D is not a %2 number: give a number from 1 to 4294967295.")
                                .arg(ident, level)
                                .toStdString());
    const std::string text = AddrBook::Ident(number);
    if (const TreeItem* existing = Book().Find(parent, text))
        return velkor::fail(QStringLiteral("There is already a %1 %2 (\u201C%3\u201D)%4.")
                                .arg(level, QString::fromStdString(text), QString::fromStdString(existing->entry.name),
                                     parent ? QStringLiteral(" in %1").arg(Describe(parent)) : QString())
                                .toStdString());
    IdentPath path = parent ? identPathOf(parent) : IdentPath();
    path.push_back(text);
    m_undo->push(new NewNodeStep(*this, path, QStringLiteral("New %1 %2").arg(level, QString::fromStdString(text))));
    return {};
}

void CAddrBookCtrl::NewNodeByUser(TreeItem* parent)
{
    const QString level = QLatin1String(parent ? parent->indent == 1 ? "fleet" : "unit" : "system");
    const std::optional<QString> ident =
        askText(parent ? QStringLiteral("Number of the new %1 in %2:").arg(level, Describe(parent))
                       : QStringLiteral("Number of the new system:"));
    if (!ident)
        return;
    const velkor::Status made = NewNode(parent, *ident);
    if (!made) {
        tellUser(QString::fromStdString(made.error()));
        return;
    }
    // The name the node was made with is a placeholder: typing replaces it.
    EditName(GetSelectedNode());
    if (auto* box = viewport()->findChild<CListEditCtrl*>(); box && box->isVisible())
        box->selectAll();
}

void CAddrBookCtrl::EditName(TreeItem* node)
{
    if (!node)
        return;
    SelectNode(node);
    SetCurrentColumn(kColName);
    EditCell(node->row, kColName);
}

velkor::Result<velkor::CsvImportCounts> CAddrBookCtrl::ImportFile(const std::string& path,
                                                                  const velkor::ImportOptions& options)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
        return velkor::fail("cannot read " + path);
    return importAliases(Book(), text.str(), options);
}

void CAddrBookCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier) {
        EditName(GetSelectedNode());
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        m_undo->undo();
        return;
    }
    if (event->matches(QKeySequence::Redo)) {
        m_undo->redo();
        return;
    }
    CSuperGridCtrl::keyPressEvent(event);
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
