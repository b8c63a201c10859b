#include "AddrBookFixture.h"

#include "addrbook/AddrText.h"

using namespace velkor;

namespace {

class AddrBookModel : public AddrBookFixture {
protected:
    void SetUp() override
    {
        AddrBookFixture::SetUp();
        prepare(book);
        // System 1 "Net" > fleet 10 "Ops" > units 100 "Alpha" (checked), 101 "Bravo" (not).
        TreeItem* sys = book.InsertRoot(velkor::AddrEntry{"1", "Net", "", "", false});
        TreeItem* fleet = book.InsertChild(sys, velkor::AddrEntry{"10", "Ops", "", "", true});
        book.InsertChild(fleet, velkor::AddrEntry{"100", "Alpha", "", "", true});
        book.InsertChild(fleet, velkor::AddrEntry{"101", "Bravo", "", "", false});
        book.InsertChild(fleet, velkor::AddrEntry{"102", "", "", "", true});
    }
    std::vector<std::string> shownNames() const
    {
        std::vector<std::string> out;
        for (int r = 0; r < book.GetRowCount(); ++r)
            out.push_back(name(book.NodeOfRow(r)));
        return out;
    }
    AddrBook book{notices};
    const std::string now = AddrBook::FormatLastSeen(1700000000);
};

TEST_F(AddrBookModel, GetAddrName)
{
    struct Case {
        velkor_address_s a;
        const char* expected;
    };
    const Case cases[] = {
        {{0, 10, 100}, "UNKNOWN"},
        {{2, 0, 0}, "2"},
        {{2, 10, 100}, "2"},
        {{1, 0, 0}, "Net"},
        {{1, 11, 0}, "11"},
        {{1, 11, 5}, "11"},
        {{1, 10, 0}, "Ops"},
        {{1, 10, 999}, "999"},
        {{1, 10, 100}, "Alpha"},
        {{1, 10, 102}, ""},
        {{4294967295u, 0, 0}, "4294967295"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(book.GetAddrName(c.a.system, c.a.fleet, c.a.unit), c.expected)
            << c.a.system << "/" << c.a.fleet << "/" << c.a.unit;
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookModel, IsAddrCheckedAnswersAndStampsOnlyPresentUnits)
{
    struct Case {
        velkor_address_s a;
        int expected;
    };
    const Case cases[] = {
        {{1, 10, 100}, 1},  {{1, 10, 101}, 0},  {{1, 10, 0}, -1},   {{1, 0, 0}, -1},
        {{1, 10, 999}, -1}, {{1, 11, 100}, -1}, {{2, 10, 100}, -1}, {{0, 0, 0}, -1},
    };
    for (const Case& c : cases) {
        TreeItem* unit = reinterpret_cast<TreeItem*>(1);
        EXPECT_EQ(book.IsAddrChecked(c.a, &unit), c.expected) << c.a.system << "/" << c.a.fleet << "/" << c.a.unit;
        EXPECT_EQ(unit != nullptr, c.expected >= 0);
        if (unit) {
            EXPECT_EQ(field(unit, velkor::AddrField::LastSeen), now);
        }
    }
    EXPECT_EQ(book.Roots().size(), 1u); // asking never adds
    EXPECT_EQ(field(book.FindAddr({1, 10, 102}), velkor::AddrField::LastSeen), "");
}

TEST_F(AddrBookModel, AddAddrCreatesMissingNodesAsTheTrackerExpects)
{
    book.CommitField(book.FindAddr({1, 10, 100}), velkor::AddrField::LastSeen, "typed by hand");
    book.AddAddr({1, 10, 100});
    TreeItem* alpha = book.FindAddr({1, 10, 100});
    EXPECT_EQ(name(alpha), "Alpha");
    EXPECT_EQ(field(alpha, velkor::AddrField::LastSeen), now); // a report overwrites an edited cell
    EXPECT_EQ(book.FindAddr({1, 10, 0})->children.size(), 3u);

    book.AddAddr({7, 0, 0});
    book.AddAddr({7, 3, 0});
    book.AddAddr({7, 3, 55});
    book.AddAddr({0, 3, 55}); // no system: nothing
    EXPECT_EQ(book.Roots().size(), 2u);
    EXPECT_EQ(name(book.FindAddr({7, 0, 0})), "New System");
    EXPECT_FALSE(checked(book.FindAddr({7, 0, 0})));
    EXPECT_EQ(name(book.FindAddr({7, 3, 0})), "Fleet 3");
    EXPECT_FALSE(checked(book.FindAddr({7, 3, 0})));
    const TreeItem* unit = book.FindAddr({7, 3, 55});
    EXPECT_EQ(name(unit), "55");
    EXPECT_TRUE(checked(unit));
    EXPECT_EQ(field(unit, velkor::AddrField::Ident), "55");
    EXPECT_EQ(field(unit, velkor::AddrField::LastSeen), now);
    EXPECT_EQ(book.FindAddr({7, 3, 0})->indent, 2);
    EXPECT_EQ(book.FindAddr({7, 0, 0})->indent, 1);
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookModel, NewChildIsSortedIntoPlaceOnlyUnderACollapsedParent)
{
    TreeItem* fleet = book.FindAddr({1, 10, 0});
    book.AddAddr({1, 10, 5}); // "5" sorts before the letters (and after "")
    EXPECT_EQ(name(fleet->children[1].get()), "5");
    EXPECT_EQ(book.GetRowCount(), 1); // no row for a node under collapsed parents

    book.Expand(book.GetRoot("1"));
    book.Expand(fleet);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"Net", "Ops", "", "5", "Alpha", "Bravo"}));
    book.AddAddr({1, 10, 3});
    book.AddAddr({1, 9, 0}); // "Fleet 9" under the expanded system: appended, after Ops' units
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"Net", "Ops", "", "5", "Alpha", "Bravo", "3", "Fleet 9"}));
    EXPECT_EQ(book.RowOfNode(book.FindAddr({1, 10, 3})), 6);

    // Collapsing the fleet and sorting it (as the view does) puts "3" in its place.
    book.Collapse(fleet);
    book.SortChildren(fleet, false);
    book.Expand(fleet);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"Net", "Ops", "", "3", "5", "Alpha", "Bravo", "Fleet 9"}));
}

TEST_F(AddrBookModel, CollapseHidesAllDescendantsAndExpandShowsOneLevel)
{
    TreeItem* sys = book.GetRoot("1");
    TreeItem* fleet = book.FindAddr({1, 10, 0});
    book.ExpandAll(sys);
    EXPECT_EQ(book.GetRowCount(), 5);
    EXPECT_TRUE(book.Collapse(sys));
    EXPECT_EQ(book.GetRowCount(), 1);
    EXPECT_TRUE(fleet->collapsed);
    EXPECT_EQ(fleet->row, -1);
    EXPECT_TRUE(book.Expand(sys));
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"Net", "Ops"}));
    EXPECT_FALSE(book.Collapse(fleet));                     // already collapsed
    EXPECT_FALSE(book.Expand(book.FindAddr({1, 10, 100}))); // no children
}

TEST_F(AddrBookModel, DeleteRemovesTheSubtreeAndCollapsesAnEmptiedParent)
{
    TreeItem* sys = book.GetRoot("1");
    book.ExpandAll(sys);
    book.AddAddr({2, 0, 0});
    book.DeleteNode(book.FindAddr({1, 10, 0}));
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"Net", "New System"}));
    EXPECT_TRUE(sys->collapsed);
    EXPECT_FALSE(sys->HasChildren());
    EXPECT_EQ(book.RowOfNode(book.GetRoot("2")), 1);
    EXPECT_EQ(book.IsAddrChecked({1, 10, 100}), -1);
    book.DeleteNode(sys);
    book.AddAddr({1, 0, 0});
    EXPECT_EQ(book.GetAddrName(1, 0, 0), "New System");
}

TEST_F(AddrBookModel, EachLevelIsFoundByItsOwnIdentsAndForgetsDeletedNodes)
{
    const TreeItem* fleet = book.FindAddr({1, 10, 0});
    EXPECT_EQ(book.FindChild(book.GetRoot("1"), "100"), nullptr); // a unit's ident among the fleets
    EXPECT_EQ(book.FindChild(fleet, "10"), nullptr);
    TreeItem* site = book.InsertRoot({"Site A", "Hand made", "", "", false});
    TreeItem* twin = book.InsertRoot({"Site A", "Twin", "", "", false});
    EXPECT_EQ(book.GetRoot("Site A"), site); // the first of equal idents
    book.DeleteNode(site);
    EXPECT_EQ(book.GetRoot("Site A"), twin);
    book.DeleteNode(twin);
    EXPECT_EQ(book.GetRoot("Site A"), nullptr);
    book.DeleteNode(book.FindAddr({1, 10, 101}));
    EXPECT_EQ(book.FindChild(fleet, "101"), nullptr);
    EXPECT_EQ(name(book.FindChild(fleet, "100")), "Alpha");
}

TEST_F(AddrBookModel, CheckDeepReachesHiddenDescendants)
{
    TreeItem* sys = book.GetRoot("1");
    book.SetCheckDeep(sys, false);
    EXPECT_EQ(book.IsAddrChecked({1, 10, 100}), 0);
    EXPECT_EQ(book.IsAddrChecked({1, 10, 102}), 0);
    EXPECT_FALSE(checked(book.FindAddr({1, 10, 0})));
    book.SetCheckDeep(sys, true);
    EXPECT_EQ(book.IsAddrChecked({1, 10, 101}), 1);
}

TEST_F(AddrBookModel, CommittedTexts)
{
    TreeItem* unit = book.FindAddr({1, 10, 100});
    struct Case {
        velkor::AddrField field;
        const char* typed;
        bool stored;
        const char* expected;
    };
    const Case cases[] = {
        {velkor::AddrField::Name, "Bugs: Impossible", true, "Bugs: Impossible (selfconfidence allright)"},
        {velkor::AddrField::Comment, "Bugs: Impossible", true, "Bugs: Impossible (selfconfidence allright)"},
        {velkor::AddrField::LastSeen, "Bugs: Impossible", true, "Bugs: Impossible (selfconfidence allright)"},
        {velkor::AddrField::Name, "bugs: impossible", true, "bugs: impossible"},
        {velkor::AddrField::Name, "Bugs: Impossible ", true, "Bugs: Impossible "},
        {velkor::AddrField::Name, "", true, ""},
        {velkor::AddrField::Comment, "two\nlines", true, "two lines"},
        {velkor::AddrField::Ident, "555", false, "100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(book.CommitField(unit, c.field, c.typed), c.stored) << c.typed;
        EXPECT_EQ(field(unit, c.field), c.expected);
    }
    EXPECT_EQ(std::string(AddrBook::kBugsSuffix).size(), 26u);
}

TEST(AddrText, DecodingAndEncoding)
{
    struct Case {
        std::string stored;  // bytes in the file
        std::string text;    // what the program holds
        std::string written; // what it writes back
    };
    const Case cases[] = {
        {"plain", "plain", "plain"},
        {"Kj\xF8ge", "Kj\xC3\xB8ge", "Kj\xF8ge"},     // Windows-1252 stays 8-bit
        {"Kj\xC3\xB8ge", "Kj\xC3\xB8ge", "Kj\xF8ge"}, // UTF-8 that fits the code page
        {"\x80 \x9F \x81", "\xE2\x82\xAC \xC5\xB8 \xC2\x81", "\x80 \x9F \x81"},
        {"\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xC5\x81\xC3\xB3\x64\xC5\xBA"}, // Łódź
        {"\xC3\x83\xC2\xB8", "\xC3\x83\xC2\xB8", "\xC3\x83\xC2\xB8"},     // "Ã¸" would read back as "ø" in 8 bits
        {"\xE2\x98\x8E", "\xE2\x98\x8E", "\xE2\x98\x8E"},                 // ☎
        {"\xC0\xAF", "\xC3\x80\xC2\xAF", "\xC0\xAF"},                     // overlong: not UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", "\xED\xA0\x80"}, // surrogate: not UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeStoredText(c.stored), c.text);
        EXPECT_EQ(encodeStoredText(c.text), c.written);
        EXPECT_EQ(decodeStoredText(encodeStoredText(c.text)), c.text);
    }
    EXPECT_EQ(utf8ToCp1252("Kj\xC3\xB8ge \xE2\x82\xAC \xE2\x98\x8E"), "Kj\xF8ge \x80 ?");
}

} // namespace
