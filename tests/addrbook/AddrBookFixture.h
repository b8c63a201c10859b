// Shared by the address book tests: a scratch directory, the book's notices collected
// and a fixed clock.
#pragma once

#include "addrbook/AddrBook.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/ScratchFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velkor;

class AddrBookFixture : public ScratchFixture {
protected:
    std::string path(const std::string& name = "addrbook.ini") const { return (dir / name).string(); }

    // A book whose clock stands still.
    static void prepare(AddrBook& book)
    {
        book.SetClock([] { return std::time_t{1700000000}; });
    }
    static std::string name(const TreeItem* n) { return n ? n->entry.name : "<none>"; }
    static std::string field(const TreeItem* n, velkor::AddrField f) { return n ? n->entry.text(f) : "<none>"; }
    static bool checked(const TreeItem* n) { return n && n->entry.checked; }

    // Alerts are what the dialog shows as message boxes, notes its log lines.
    CollectingNotices notices;
};
