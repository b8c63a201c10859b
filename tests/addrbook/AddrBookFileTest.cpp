#include "AddrBookFixture.h"

#include "addrbook/AddrText.h"

using namespace velkor;

namespace {

class AddrBookFile : public AddrBookFixture {
protected:
    void SetUp() override
    {
        AddrBookFixture::SetUp();
        prepare(book);
    }

    // The worked example: system 1234 named North with fleet 200 (unit 2001, Base,
    // checked) and an empty fleet 201.
    void buildExample(AddrBook& into)
    {
        TreeItem* sys = into.InsertRoot(velkor::AddrEntry{"1234", "North", "", "", true});
        TreeItem* f200 = into.InsertChild(sys, velkor::AddrEntry{"200", "Fleet 200", "", "", true});
        into.InsertChild(sys, velkor::AddrEntry{"201", "Fleet 201", "", "", false});
        into.InsertChild(f200, velkor::AddrEntry{"2001", "Base", "", "", true});
    }

    AddrBook book{notices};
};

const char* const kExample = "[1234]\n"
                             "sysName=North\n"
                             "sysComment=\n"
                             "numberOfFleets=2\n"
                             "fleet0-Name=Fleet 200\n"
                             "fleet0-Id=200\n"
                             "fleet0-Comment=\n"
                             "fleet0-NrOfUnits=1\n"
                             "fleet0-unit0-Name=Base\n"
                             "fleet0-unit0-Id=2001\n"
                             "fleet0-unit0-Comment=\n"
                             "fleet0-unit0-LastSeen=\n"
                             "fleet0-unit0-Checked=1\n"
                             "fleet1-Name=Fleet 201\n"
                             "fleet1-Id=201\n"
                             "fleet1-Comment=\n";

TEST_F(AddrBookFile, SavingKeepsTheLineEndsOfTheFile)
{
    // A book last written on Windows stays CRLF; an LF file and a new file (the worked
    // example, byte for byte) are LF.
    const auto crlf = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.insert(at, 1, '\r');
        return text;
    };
    struct Case {
        const char* name;
        bool exists;
        bool windows;
    };
    for (const Case c : {Case{"CRLF", true, true}, Case{"LF", true, false}, Case{"new", false, false}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path());
        if (c.exists)
            writeFile(path(), c.windows ? crlf(kExample) : kExample);
        AddrBook book{notices};
        prepare(book);
        if (c.exists)
            ASSERT_TRUE(book.LoadData(path()).ok());
        else
            buildExample(book);
        ASSERT_TRUE(book.SaveData(path()).ok());
        EXPECT_EQ(readFile(path()), c.windows ? crlf(kExample) : kExample);
    }
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookFile, LockoutAndPriorityFollowEachNodesKeysAndAreInherited)
{
    const std::string text = "[7]\nsysName=S\nsysComment=\nnumberOfFleets=1\nsysLockout=0\nsysPriority=6\n"
                             "fleet0-Name=F\nfleet0-Id=70\nfleet0-Comment=\nfleet0-NrOfUnits=2\nfleet0-Lockout=1\n"
                             "fleet0-unit0-Name=A\nfleet0-unit0-Id=701\nfleet0-unit0-Comment=\n"
                             "fleet0-unit0-LastSeen=\nfleet0-unit0-Checked=1\nfleet0-unit0-Lockout=0\n"
                             "fleet0-unit0-Priority=2\nfleet0-unit1-Name=B\nfleet0-unit1-Id=702\n"
                             "fleet0-unit1-Comment=\nfleet0-unit1-LastSeen=\nfleet0-unit1-Checked=1\n";
    writeFile(path(), text);
    ASSERT_TRUE(book.LoadData(path()).ok());
    const struct {
        velkor_address_s a;
        velkor_follow_rule_s rule;
    } cases[] = {
        {{7, 70, 701}, {false, 2}},                          // its own values
        {{7, 70, 702}, {true, 6}},                           // the fleet's lockout, the system's priority
        {{7, 70, 999}, {true, 6}},                           // a unit not in the book takes its fleet's
        {{7, 0, 0}, {false, 6}},    {{8, 1, 1}, {false, 0}}, // a system not in the book: none
    };
    for (const auto& c : cases)
        EXPECT_EQ(book.FollowRule(c.a), c.rule) << c.a.system << "/" << c.a.fleet << "/" << c.a.unit;
    ASSERT_TRUE(book.SaveData(path()).ok());
    EXPECT_EQ(readFile(path()), text);
}

TEST_F(AddrBookFile, SaveLoadSaveGivesTheSameFileAndBook)
{
    buildExample(book);
    book.AddAddr({1234, 200, 2002});
    book.AddAddr({77, 5, 9});
    book.CommitField(book.FindAddr({77, 0, 0}), velkor::AddrField::Comment, "repeater, hill top = 1");
    ASSERT_TRUE(book.SaveData(path()).ok());
    const std::string first = readFile(path());

    AddrBook again{notices};
    prepare(again);
    ASSERT_TRUE(again.LoadData(path()).ok());
    EXPECT_EQ(again.GetAddrName(1234, 200, 2001), "Base");
    EXPECT_EQ(again.GetAddrName(1234, 200, 2002), "2002");
    EXPECT_EQ(field(again.FindAddr({77, 0, 0}), velkor::AddrField::Comment), "repeater, hill top = 1");
    EXPECT_EQ(field(again.FindAddr({1234, 200, 2002}), velkor::AddrField::LastSeen),
              AddrBook::FormatLastSeen(1700000000));
    ASSERT_TRUE(again.SaveData(path("second.ini")).ok());
    EXPECT_EQ(readFile(path("second.ini")), first);
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookFile, MissingOrEmptyFileGivesAnEmptyBook)
{
    for (const char* text : {static_cast<const char*>(nullptr), "", "; only a comment\n\n"}) {
        AddrBook book{notices};
        if (text)
            writeFile(path(), text);
        EXPECT_TRUE(book.LoadData(path()).ok());
        EXPECT_TRUE(book.Roots().empty());
    }
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookFile, DuplicateFleetsMergeAndDuplicateUnitsAreSkipped)
{
    writeFile(path(),
              "[9]\nsysName=S\nnumberOfFleets=2\n"
              "fleet0-Name=First\nfleet0-Id=7\nfleet0-NrOfUnits=2\n"
              "fleet0-unit0-Name=A\nfleet0-unit0-Id=1\nfleet0-unit0-Checked=1\n"
              "fleet0-unit1-Name=A again\nfleet0-unit1-Id=1\nfleet0-unit1-Checked=0\n"
              "fleet1-Name=Second\nfleet1-Id=7\nfleet1-NrOfUnits=1\n"
              "fleet1-unit0-Name=B\nfleet1-unit0-Id=2\nfleet1-unit0-Checked=0\n");
    ASSERT_TRUE(book.LoadData(path()).ok());
    const TreeItem* sys = book.GetRoot("9");
    ASSERT_EQ(sys->children.size(), 1u);
    const TreeItem* fleet = sys->children[0].get();
    EXPECT_EQ(name(fleet), "First");
    ASSERT_EQ(fleet->children.size(), 2u);
    EXPECT_EQ(name(fleet->children[0].get()), "A");
    EXPECT_EQ(name(fleet->children[1].get()), "B");
    // The second entry, without checked units, does not take back the first one's mark.
    EXPECT_TRUE(checked(fleet));
    EXPECT_TRUE(checked(sys));
    EXPECT_EQ(notices.alerts,
              (std::vector<std::string>{"Error in CAddrBookCtrl::LoadData(), duplicate addr item in fleet!",
                                        "Error in CAddrBookCtrl::LoadData(), duplicate fleet item in system!"}));
}

TEST_F(AddrBookFile, ZeroAndUnparsableIdsAreSkippedSilently)
{
    writeFile(path(),
              "[3]\nnumberOfFleets=3\n"
              "fleet0-Id=0\nfleet0-NrOfUnits=1\nfleet0-unit0-Id=5\n"
              "fleet1-Id=abc\n"
              "fleet2-Id=12xyz\nfleet2-NrOfUnits=2\nfleet2-unit0-Id=0\nfleet2-unit0-Checked=1\n"
              "fleet2-unit1-Id=\nfleet2-unit1-Checked=0\n");
    ASSERT_TRUE(book.LoadData(path()).ok());
    const TreeItem* sys = book.GetRoot("3");
    ASSERT_EQ(sys->children.size(), 1u);
    const TreeItem* fleet = sys->children[0].get();
    EXPECT_EQ(field(fleet, velkor::AddrField::Ident), "12"); // the leading number, as Windows reads it
    EXPECT_TRUE(fleet->children.empty());
    // The skipped unit was checked and still marks its fleet (and so the system).
    EXPECT_TRUE(checked(fleet));
    EXPECT_TRUE(checked(sys));
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookFile, CheckMarksOfFleetsAndSystemsFollowTheirUnits)
{
    writeFile(path(),
              "[1]\nnumberOfFleets=2\n"
              "fleet0-Id=10\nfleet0-NrOfUnits=2\nfleet0-unit0-Id=1\nfleet0-unit0-Checked=0\n"
              "fleet0-unit1-Id=2\nfleet0-unit1-Checked=0\n"
              "fleet1-Id=11\n"
              "[2]\nnumberOfFleets=2\n"
              "fleet0-Id=20\nfleet0-NrOfUnits=1\nfleet0-unit0-Id=1\nfleet0-unit0-Checked=0\n"
              "fleet1-Id=21\nfleet1-NrOfUnits=1\nfleet1-unit0-Id=1\nfleet1-unit0-Checked=5\n");
    ASSERT_TRUE(book.LoadData(path()).ok());
    EXPECT_FALSE(checked(book.GetRoot("1")));
    EXPECT_FALSE(checked(book.FindAddr({1, 10, 0})));
    EXPECT_FALSE(checked(book.FindAddr({1, 11, 0})));
    EXPECT_TRUE(checked(book.GetRoot("2")));
    EXPECT_FALSE(checked(book.FindAddr({2, 20, 0})));
    EXPECT_TRUE(checked(book.FindAddr({2, 21, 0})));
    EXPECT_EQ(book.IsAddrChecked({2, 21, 1}), 1);
    EXPECT_EQ(book.IsAddrChecked({2, 20, 1}), 0);
}

TEST_F(AddrBookFile, SectionsAreFoundByTheirExactTextOnlyAndSavedAsTheyWere)
{
    // A hand-made name, a leading zero and a system without fleets: each found by its own
    // text, never by a reported number, and written back byte for byte.
    const std::string file = "[Site A]\nsysName=Hill\nsysComment=\n"
                             "[0042]\nsysName=Zeros\nsysComment=\nnumberOfFleets=1\nfleet0-Name=Ops\nfleet0-Id=1\n"
                             "fleet0-Comment=\nfleet0-NrOfUnits=1\nfleet0-unit0-Name=Car\nfleet0-unit0-Id=1\n"
                             "fleet0-unit0-Comment=\nfleet0-unit0-LastSeen=\nfleet0-unit0-Checked=1\n"
                             "[5]\nsysName=Lonely\nsysComment=c\n";
    writeFile(path(), file);
    ASSERT_TRUE(book.LoadData(path()).ok());
    for (const char* ident : {"Site A", "0042", "5"})
        EXPECT_NE(book.GetRoot(ident), nullptr) << ident;
    for (const char* ident : {"site a", "Site A ", "42", "05"})
        EXPECT_EQ(book.GetRoot(ident), nullptr) << ident;
    EXPECT_EQ(book.IsAddrChecked({42, 1, 1}), -1);
    EXPECT_EQ(book.GetAddrName(42, 0, 0), "42");
    book.AddAddr({42, 0, 0});
    ASSERT_TRUE(book.SaveData(path()).ok());
    EXPECT_EQ(readFile(path()), file + "[42]\nsysName=New System\nsysComment=\n");
    EXPECT_TRUE(notices.alerts.empty());
}

TEST_F(AddrBookFile, AllSectionsAreReadBeyondFourKilobytesOfNames)
{
    // 300 sections of 15-character names: 4800 bytes of names, more than the 4096-byte
    // buffer the file was once read with.
    std::string text;
    for (int i = 0; i < 300; ++i) {
        char sec[32];
        std::snprintf(sec, sizeof sec, "%015d", 1000 + i);
        text += std::string("[") + sec + "]\nsysName=S" + std::to_string(i) + "\n";
    }
    writeFile(path(), text);
    ASSERT_TRUE(book.LoadData(path()).ok());
    ASSERT_EQ(book.Roots().size(), 300u);
    EXPECT_EQ(name(book.Roots()[299].get()), "S299");
    ASSERT_TRUE(book.SaveData(path()).ok());
    AddrBook again{notices};
    ASSERT_TRUE(again.LoadData(path()).ok());
    EXPECT_EQ(again.Roots().size(), 300u);
    EXPECT_EQ(name(again.GetRoot("000000000001299")), "S299");
}

TEST_F(AddrBookFile, DamagedFileLoadsWhatItCanWithoutHanging)
{
    std::string text = "garbage line without equals\n[\n[]\nsysName=nameless\n"
                       "[17]\nsysName=Ok\nnumberOfFleets=4000000000\nfleet3-Id=5\nfleet3-NrOfUnits=-1\n"
                       "fleet3-unit2-Id=8\nfleet3-unit2-Checked=1\n"
                       // Keys with huge indexes, under huge counts.
                       "fleet4000000-Id=6\nfleet4000000-NrOfUnits=4000000000\nfleet4000000-unit3999999999-Id=9\n"
                       "fleet22222222222222222222222222-Id=7\n"
                       "[18]\nnumberOfFleets=-7\nfleet0-Id=-1\n";
    text += "[19]\nsysName=bin";
    text += '\0';
    text += "ary\xff\xfe\nnumberOfFleets=1\nfleet0-Id=1\n";
    writeFile(path(), text);
    ASSERT_TRUE(book.LoadData(path()).ok());
    EXPECT_EQ(book.GetAddrName(17, 0, 0), "Ok");
    EXPECT_EQ(book.GetAddrName(17, 5, 8), ""); // found, with the empty name of the file
    EXPECT_EQ(book.IsAddrChecked({17, 5, 8}), 1);
    EXPECT_EQ(book.IsAddrChecked({17, 6, 9}), 0);
    EXPECT_EQ(book.FindAddr({17, 7, 0}), nullptr);
    // "-1" reads as 4294967295, as Windows reads it.
    EXPECT_NE(book.FindAddr({18, 4294967295u, 0}), nullptr);
    EXPECT_NE(book.GetRoot("19"), nullptr);
    // A section without a name has no system number and could not be written back.
    EXPECT_EQ(book.GetRoot(""), nullptr);
    EXPECT_TRUE(book.SaveData(path("out.ini")).ok());
}

TEST_F(AddrBookFile, SavingReplacesTheWholeFileAtomically)
{
    writeFile(path(), "[1]\nsysName=Old\nstale=1\n[2]\nsysName=Gone\n");
    book.AddAddr({1, 0, 0});
    ASSERT_TRUE(book.SaveData(path()).ok());
    EXPECT_EQ(readFile(path()), "[1]\nsysName=New System\nsysComment=\n");
    // Nothing but the file itself is left in the directory.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(AddrBookFile, FailedSaveKeepsTheOldFileAndSaysSo)
{
    book.AddAddr({1, 0, 0});
    EXPECT_FALSE(book.SaveData((dir / "missing-dir" / "addrbook.ini").string()).ok());
    ASSERT_EQ(notices.alerts.size(), 1u);
    EXPECT_NE(notices.alerts[0].find("Error saving address book"), std::string::npos);
}

TEST_F(AddrBookFile, UnreadableFileIsNeverOverwritten)
{
    // A directory where the file should be: it exists, but cannot be read.
    std::filesystem::create_directory(path());
    EXPECT_FALSE(book.LoadData(path()).ok());
    ASSERT_EQ(notices.alerts.size(), 1u);
    EXPECT_TRUE(book.LoadIncomplete());
    book.AddAddr({1, 2, 3});
    EXPECT_FALSE(book.SaveData(path()).ok());
    EXPECT_TRUE(std::filesystem::is_directory(path()));
    ASSERT_EQ(notices.notes.size(), 1u);
    EXPECT_NE(notices.notes[0].find("not saved"), std::string::npos);
}

// Refuses every insertion after the first few, as a failing insertion would.
class FailingBook : public AddrBook {
public:
    FailingBook(velkor::Notices& notices, int allowed)
        : AddrBook(notices)
        , m_allowed(allowed)
    {
    }

protected:
    TreeItem* insertNode(TreeItem* parent, velkor::AddrEntry entry) override
    {
        if (m_allowed-- <= 0)
            return nullptr;
        return AddrBook::insertNode(parent, std::move(entry));
    }

private:
    int m_allowed;
};

TEST_F(AddrBookFile, LoadThatStopsEarlyLeavesTheFileUntouchedOnSave)
{
    AddrBook full{notices};
    prepare(full);
    for (uint32_t s = 1; s <= 3; ++s)
        for (uint32_t u = 1; u <= 3; ++u)
            full.AddAddr({s, 1, u});
    ASSERT_TRUE(full.SaveData(path()).ok());
    const std::string before = readFile(path());

    struct Case {
        int allowed;
        const char* message;
    };
    for (const Case c :
         {Case{0, "Error inserting system in addressbook!"}, Case{1, "Error inserting fleet in addressbook!"},
          Case{7, "Error inserting addr in addressbook!"}}) {
        notices.alerts.clear();
        notices.notes.clear();
        FailingBook book(notices, c.allowed);
        prepare(book);
        EXPECT_FALSE(book.LoadData(path()).ok());
        EXPECT_EQ(notices.alerts, std::vector<std::string>{c.message});
        EXPECT_FALSE(book.SaveData(path()).ok());
        EXPECT_EQ(readFile(path()), before);
        EXPECT_EQ(notices.notes.size(), 1u);
    }
    // What was loaded before the failure stays.
    FailingBook partial(notices, 7);
    EXPECT_FALSE(partial.LoadData(path()).ok());
    EXPECT_EQ(partial.GetAddrName(1, 1, 3), "3");
    EXPECT_NE(partial.FindAddr({2, 1, 0}), nullptr);
}

TEST_F(AddrBookFile, EightBitAndUnicodeNamesSurvive)
{
    // A name typed on another system in Windows-1252, and one typed here.
    writeFile(path(), "[1]\nsysName=Kj\xF8ge \x80\nnumberOfFleets=1\nfleet0-Id=2\nfleet0-Name=\xC3\x98resund\n");
    ASSERT_TRUE(book.LoadData(path()).ok());
    EXPECT_EQ(book.GetAddrName(1, 0, 0), "Kj\xC3\xB8ge \xE2\x82\xAC");
    EXPECT_EQ(book.GetAddrName(1, 2, 0), "\xC3\x98resund");
    book.AddAddr({1, 2, 3});
    const std::string polish = "\xC5\x81\xC3\xB3\x64\xC5\xBA"; // Łódź: not in Windows-1252
    const std::string lookalike = "\xC3\x83\xC2\xB8";          // "Ã¸": its 8-bit form reads as UTF-8
    book.CommitField(book.FindAddr({1, 2, 3}), velkor::AddrField::Name, polish);
    book.CommitField(book.FindAddr({1, 2, 3}), velkor::AddrField::Comment, lookalike);
    ASSERT_TRUE(book.SaveData(path()).ok());
    const std::string text = readFile(path());
    EXPECT_NE(text.find("sysName=Kj\xF8ge \x80\n"), std::string::npos); // still 8-bit for 8-bit readers
    AddrBook again{notices};
    ASSERT_TRUE(again.LoadData(path()).ok());
    EXPECT_EQ(again.GetAddrName(1, 0, 0), "Kj\xC3\xB8ge \xE2\x82\xAC");
    EXPECT_EQ(again.GetAddrName(1, 2, 0), "\xC3\x98resund");
    EXPECT_EQ(again.GetAddrName(1, 2, 3), polish);
    EXPECT_EQ(field(again.FindAddr({1, 2, 3}), velkor::AddrField::Comment), lookalike);
}

} // namespace
