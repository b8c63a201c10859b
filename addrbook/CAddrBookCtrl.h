// The address book as the main dialog shows it: the book (CAddrBook) in a tree grid with
// the columns Name, Ident, Comment and Last Seen, the row images, check marks that
// spread to every descendant, and children re-sorted whenever a node collapses.
#pragma once

#include "addrbook/CAddrBook.h"
#include "addrbook/CSuperGridCtrl.h"

class CAddrBookCtrl : public CSuperGridCtrl {
    Q_OBJECT
public:
    explicit CAddrBookCtrl(QWidget* parent = nullptr);

    CAddrBook& Book() { return static_cast<CAddrBook&>(Tree()); }
    const CAddrBook& Book() const { return static_cast<const CAddrBook&>(Tree()); }

    // Inserts the four columns; the main dialog calls it once after creating the control.
    void InitializeGrid();

    int LoadData(const std::string& path) { return Book().LoadData(path); }
    int SaveData(const std::string& path) { return Book().SaveData(path); }
    CTreeItem* GetRoot(const std::string& ident) const { return Book().GetRoot(ident); }
    CTreeItem* FindChild(const CTreeItem* parent, const std::string& ident) const { return Book().FindChild(parent, ident); }
    std::string GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const { return Book().GetAddrName(system, fleet, unit); }
    void AddAddr(const velkor_address_s& a) { Book().AddAddr(a); }
    // With select, a checked unit is brought into view and selected.
    int IsAddrChecked(const velkor_address_s& a, int select);

    int NodeImage(const CTreeItem* node) const override;
    void CommitCellText(CTreeItem* node, int row, int column, const QString& text) override;
    void CellMouseDown(const HitInfo& hit) override;
    bool AfterCollapse(CTreeItem* node) override;
    bool EnterOnCell() override;
};
