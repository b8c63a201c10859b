// The address book's context menu: New system, fleet or unit, Edit and Delete (steps of
// the book's undo stack); Hold or Release the row's system, fleet or unit for call
// following, its lockout and its priority; Import... of an alias list. Holds live in the
// call tracker for this run; lockout and priority are the node's own values, saved with
// the book.
#include "app/CVelkorDlg.h"

#include "addrbook/AddrBook.h"
#include "addrbook/view/CAddrBookCtrl.h"
#include "addrbook/view/SuperGridModel.h"
#include "cmdwnd/CCmdWnd.h"
#include "text/Cp1252.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QMenu>

#include <algorithm>
#include <cstdlib>

namespace velkor {

namespace {

// The idents of a node and its ancestors, system first.
std::vector<std::string> identPath(const TreeItem* node)
{
    std::vector<std::string> path;
    for (; node; node = node->parent)
        path.insert(path.begin(), node->entry.ident);
    return path;
}

// The address a report of the node would carry; system 0 for an ident that no report
// can match (not a plain number).
velkor_address_s addressOf(const std::vector<std::string>& path)
{
    uint32_t numbers[3] = {0, 0, 0};
    for (size_t level = 0; level < path.size() && level < 3; ++level) {
        const std::string& ident = path[level];
        char* end = nullptr;
        const unsigned long n = std::strtoul(ident.c_str(), &end, 10);
        if (ident.empty() || ident[0] == '0' || *end != '\0' || n > UINT32_MAX)
            return {};
        numbers[level] = static_cast<uint32_t>(n);
    }
    return {numbers[0], numbers[1], numbers[2]};
}

} // namespace

TreeItem* CVelkorDlg::nodeOfPath(const std::vector<std::string>& path) const
{
    TreeItem* node = nullptr;
    for (const std::string& ident : path) {
        node = m_grid->Book().Find(node, ident);
        if (!node)
            return nullptr;
    }
    return node;
}

void CVelkorDlg::addEditEntries(QMenu& menu, const TreeItem* node)
{
    // The node is found again after the menu: traffic or the user may change the book
    // while it is open.
    const std::vector<std::string> path = identPath(node);
    const auto at = [this, path](size_t levels) {
        return levels == 0 ? nullptr : nodeOfPath(std::vector<std::string>(path.begin(), path.begin() + long(levels)));
    };
    const size_t depth = path.size();
    menu.addAction(QStringLiteral("New system..."), this, [this] { m_grid->NewNodeByUser(nullptr); });
    menu.addAction(QStringLiteral("New fleet..."), this,
                   [this, at] {
                       if (TreeItem* n = at(1))
                           m_grid->NewNodeByUser(n);
                   })
        ->setEnabled(depth >= 1);
    menu.addAction(QStringLiteral("New unit..."), this,
                   [this, at] {
                       if (TreeItem* n = at(2))
                           m_grid->NewNodeByUser(n);
                   })
        ->setEnabled(depth >= 2);
    menu.addAction(QStringLiteral("Edit"), this, [this, at, depth] { m_grid->EditName(at(depth)); })
        ->setEnabled(depth >= 1);
    menu.addAction(QStringLiteral("Delete..."), this, [this, at, depth] { m_grid->DeleteByUser(at(depth)); })
        ->setEnabled(depth >= 1);
    menu.addSeparator();
}

void CVelkorDlg::importIntoBook(const std::vector<std::string>& path)
{
    const QString file = askImportFile();
    if (file.isEmpty())
        return;
    // Alias lists go into the row's system and fleet (a system's fleet 1, where the
    // Motorola decoder puts every address), or, on empty space, where the user says.
    velkor_address_s address = addressOf(path);
    if (address.system != 0 && address.fleet == 0)
        address.fleet = 1;
    ImportOptions options{std::nullopt, address.system, address.fleet};
    velkor::Result<CsvImportCounts> r = m_grid->ImportFile(file.toStdString(), options);
    if (!r && r.error() == kNeedsSystemAndFleet) {
        const std::optional<QString> where = m_grid->askText(QStringLiteral("System and fleet of the imported units:"));
        if (!where)
            return;
        const QStringList parts = where->simplified().split(QLatin1Char(' '));
        options.system = parts.value(0).toUInt();
        options.fleet = parts.value(1).toUInt();
        r = m_grid->ImportFile(file.toStdString(), options);
    }
    if (!r) {
        m_grid->tellUser(
            QStringLiteral("%1: %2\n\nNothing was imported.").arg(file, QString::fromStdString(r.error())));
        return;
    }
    const QString line = QStringLiteral("Imported %1: %2 new, %3 updated").arg(file).arg(r->created).arg(r->updated);
    AppendLogLine(utf8ToCp1252(line.toStdString()).c_str());
}

void CVelkorDlg::bookContextMenu(const QPoint& pos)
{
    const TreeItem* node = m_grid->Model().nodeAt(m_grid->indexAt(pos));
    QMenu menu(this);
    addEditEntries(menu, node);
    const std::vector<std::string> path = identPath(node);
    if (node)
        addFollowEntries(menu, node);
    menu.addAction(QStringLiteral("Import..."), this, [this, path] { importIntoBook(path); });
    menu.exec(m_grid->viewport()->mapToGlobal(pos));
}

void CVelkorDlg::addFollowEntries(QMenu& menu, const TreeItem* node)
{
    const std::vector<std::string> path = identPath(node);
    const velkor_address_s address = addressOf(path);
    const velkor_follow_rule_s rule = AddrBook::RuleOf(node);
    if (CCmdWnd* wnd = commandWindow(); wnd && address.system != 0) {
        const auto& holds = wnd->tracker().holds();
        const bool held = std::find(holds.begin(), holds.end(), address) != holds.end();
        menu.addAction(held ? QStringLiteral("Release") : QStringLiteral("Hold"), this, [this, address, held] {
            if (CCmdWnd* w = commandWindow())
                held ? w->tracker().release(address) : w->tracker().hold(address);
            updateStatusLine();
        });
    }
    QAction* lockout = menu.addAction(QStringLiteral("Lockout"), this, [this, path, rule] {
        TreeItem* n = nodeOfPath(path);
        if (!n)
            return;
        // Its own value only where it differs from what it would take from above.
        const bool inherited = AddrBook::RuleOf(n->parent).lockout;
        m_grid->Book().SetRule(n, rule.lockout == inherited ? int(!rule.lockout) : AddrEntry::kInherit,
                               n->entry.priority);
    });
    lockout->setCheckable(true);
    lockout->setChecked(rule.lockout);
    QMenu* priority = menu.addMenu(QStringLiteral("Priority"));
    auto* group = new QActionGroup(priority);
    // The node's own priority; "as its fleet" (or system) takes the one above. A
    // system has nothing above it: none of its own is none.
    const int own = node->entry.priority >= 0 && node->entry.priority <= 9 ? node->entry.priority : AddrEntry::kInherit;
    const int above = AddrBook::RuleOf(node->parent).priority;
    for (int p = node->parent ? AddrEntry::kInherit : 0; p <= 9; ++p) {
        QString text = p > 0 ? QString::number(p) : QStringLiteral("None");
        if (p == AddrEntry::kInherit)
            text = QStringLiteral("As its %1 (%2)")
                       .arg(node->parent->parent ? QStringLiteral("fleet") : QStringLiteral("system"),
                            above ? QString::number(above) : QStringLiteral("none"));
        QAction* action = priority->addAction(text, this, [this, path, p] {
            if (TreeItem* n = nodeOfPath(path))
                m_grid->Book().SetRule(n, n->entry.lockout, p);
        });
        action->setCheckable(true);
        action->setChecked(own == p || (p == 0 && !node->parent && own == AddrEntry::kInherit));
        group->addAction(action);
    }
    menu.addSeparator();
}

} // namespace velkor
