// Shared by the address book tests: a scratch directory, captured message boxes and a
// fixed clock.
#pragma once

#include "addrbook/CAddrBook.h"
#include "fixtures/ScratchFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class AddrBookFixture : public ScratchFixture {
protected:
    std::string path(const std::string& name = "addrbook.ini") const { return (dir / name).string(); }

    // A book whose clock stands still and whose log is kept.
    void prepare(CAddrBook& book)
    {
        book.SetClock([] { return std::time_t {1700000000}; });
        book.SetLogFunction([this](const std::string& t) { logLines.push_back(t); });
    }
    static std::string name(const CTreeItem* n) { return n && n->data ? n->data->GetItemText() : "<none>"; }
    static std::string cell(const CTreeItem* n, int column) { return n && n->data ? n->data->GetCellText(column) : "<none>"; }
    static bool checked(const CTreeItem* n) { return n && n->data && n->data->GetCheck(); }

    std::vector<std::string> logLines;
};
