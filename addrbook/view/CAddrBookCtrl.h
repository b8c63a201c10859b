// The address book as the main dialog shows it: the book (AddrBook) in a tree grid with
// the columns Name, Ident, Comment and Last Seen, the row images, check marks that
// spread to every descendant, and children re-sorted whenever a node collapses.
//
// What the user changes by hand (a new node, a deletion, a tick, an edit) is a step of
// its undo stack (Ctrl+Z, Ctrl+Y). A deletion asks first, naming what goes; Space on a
// system or fleet that would change more than one unit's tick asks as well.
#pragma once

#include "addrbook/AddrBook.h"
#include "addrbook/AddrImport.h"
#include "addrbook/view/CSuperGridCtrl.h"

#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

class QUndoStack;

namespace velkor {

class CAddrBookCtrl : public CSuperGridCtrl {
    Q_OBJECT
public:
    // Indexes of the row images.
    enum { kImageFolder = 0, kImageFleet = 1, kImageUnit = 2, kImageBin = 3, kImageSystem = 4 };
    // Columns.
    enum { kColName = 0, kColIdent = 1, kColComment = 2, kColLastSeen = 3, kColumnCount = 4 };
    // The text of the record each column shows, in column order.
    static constexpr velkor::AddrField kColumnFields[kColumnCount] = {
        velkor::AddrField::Name, velkor::AddrField::Ident, velkor::AddrField::Comment, velkor::AddrField::LastSeen};

    // The book's notices go to notices.
    explicit CAddrBookCtrl(velkor::Notices& notices, QWidget* parent = nullptr);

    AddrBook& Book() { return static_cast<AddrBook&>(Tree()); }
    const AddrBook& Book() const { return static_cast<const AddrBook&>(Tree()); }

    // Inserts the four columns; the main dialog calls it once after creating the control.
    void InitializeGrid();

    // The width of each column as drawn for a font of 6 pixels' average character width.
    static constexpr int kDesignWidths[kColumnCount] = {240, 50, 240, 120};
    // What a column needs to show its header and, for Ident and Last Seen, the widest
    // text it holds: a 7-digit ident (NMT subscribers, Motorola radios from 700000) and
    // a full time.
    int NeededWidth(int column) const;
    // The grid width that gives every column what it needs, Name and Comment with at
    // least half their design width.
    int NeededGridWidth(int baseX) const;
    // Sets the widths for a font of baseX pixels' average character width: Ident and
    // Last Seen at their design widths scaled to it or what they need, whichever is
    // more, and Name and Comment sharing the rest of the grid's width evenly (as in the
    // design), so that the columns fill the grid without a horizontal scroll bar.
    void FitColumns(int baseX);

    // Rows whose name, ident or comment holds the text (case-insensitive) are shown,
    // with their ancestors (expanded as needed) and their descendants; an empty text
    // shows every row. The book itself is not changed.
    void SetFilter(const QString& text);
    const QString& Filter() const { return m_filter; }

    int LoadData(const std::string& path) { return Book().LoadData(path).ok() ? 1 : 0; }
    int SaveData(const std::string& path) { return Book().SaveData(path).ok() ? 1 : 0; }
    TreeItem* GetRoot(const std::string& ident) const { return Book().GetRoot(ident); }
    TreeItem* FindChild(const TreeItem* parent, const std::string& ident) const
    {
        return Book().FindChild(parent, ident);
    }
    std::string GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const
    {
        return Book().GetAddrName(system, fleet, unit);
    }
    void AddAddr(const velkor_address_s& a) { Book().AddAddr(a); }
    // With select, a checked unit is brought into view and selected.
    int IsAddrChecked(const velkor_address_s& a, int select);

    QUndoStack& UndoStack() { return *m_undo; }
    // New system (parent nullptr), fleet (parent a system) or unit (parent a fleet): asks
    // the ident, refuses a duplicate, then opens the Name editor of the new row.
    void NewNodeByUser(TreeItem* parent);
    // The same without asking; the reason when the ident is not taken.
    velkor::Status NewNode(TreeItem* parent, const QString& ident);
    // Opens the Name editor of the node's row.
    void EditName(TreeItem* node);
    // Asks, naming what goes and how many units are below it, then deletes.
    void DeleteByUser(TreeItem* node);
    // Merges a file into the book (not a step of the undo stack: the user chose the file).
    velkor::Result<velkor::CsvImportCounts> ImportFile(const std::string& path, const velkor::ImportOptions& options);
    // "system 1234 "North"" and the like, for questions and undo texts.
    static QString Describe(const TreeItem* node);

    // A yes/no question, a line of text asked, a refusal shown; tests replace them.
    std::function<bool(const QString&)> askYesNo;
    std::function<std::optional<QString>(const QString&)> askText;
    std::function<void(const QString&)> tellUser;

    int NodeImage(const TreeItem* node) const override;
    bool BeforeDelete(TreeItem* node, int row) override;
    void CheckByUser(TreeItem* node, bool byKey) override;
    void CommitCellText(TreeItem* node, int row, int column, const QString& text) override;
    void CellMouseDown(const HitInfo& hit) override;
    bool AfterCollapse(TreeItem* node) override;
    bool EnterOnCell() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    static bool contains(const TreeItem* node, const QString& text);
    // Whether the node or a descendant matches or is revealed; collects the matches and
    // the nodes to show.
    bool markMatches(TreeItem* node, bool ancestorMatches, std::vector<TreeItem*>& matches,
                     std::unordered_set<const TreeItem*>& visible) const;
    void applyFilter();
    void scheduleFilter();

    QUndoStack* m_undo = nullptr; // owned by this widget (Qt parent)
    QString m_filter;
    // A unit followed while the filter hid it stays shown until the filter changes.
    const TreeItem* m_revealed = nullptr;
    bool m_filterScheduled = false;
};

} // namespace velkor
