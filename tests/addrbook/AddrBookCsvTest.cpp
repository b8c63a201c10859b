#include "AddrBookFixture.h"

#include "addrbook/AddrBookCsv.h"

using namespace velkor;

namespace {

class AddrBookCsv : public AddrBookFixture {
protected:
    void SetUp() override
    {
        AddrBookFixture::SetUp();
        prepare(book);
        book.AddAddr({1234, 200, 2001});
        book.CommitField(book.GetRoot("1234"), velkor::AddrField::Name, "North");
        book.CommitField(book.FindAddr({1234, 200, 2001}), velkor::AddrField::Name, "Base \"One\"");
        book.CommitField(book.FindAddr({1234, 200, 2001}), velkor::AddrField::Comment, "roof, east");
        book.AddAddr({1234, 201, 0});
        book.SetRule(book.FindAddr({1234, 201, 0}), 1, AddrEntry::kInherit);
        book.SetRule(book.FindAddr({1234, 200, 2001}), AddrEntry::kInherit, 3);
    }
    AddrBook book{notices};
    const std::string seen = AddrBook::FormatLastSeen(1700000000);
};

TEST_F(AddrBookCsv, ExportWritesEveryNodeHeaderFirst)
{
    EXPECT_EQ(exportCsv(book),
              "system,fleet,unit,name,comment,last_seen,checked,lockout,priority\r\n"
              "1234,,,North,,,0,,\r\n"
              "1234,200,,Fleet 200,,,0,,\r\n"
              "1234,200,2001,\"Base \"\"One\"\"\",\"roof, east\"," +
                  seen +
                  ",1,,3\r\n"
                  "1234,201,,Fleet 201,,,0,1,\r\n");
}

TEST_F(AddrBookCsv, ExportReadsBackAsTheSameBook)
{
    const std::string text = exportCsv(book);
    AddrBook copy{notices};
    const velkor::Result<velkor::CsvImportCounts> r = importCsv(copy, text);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->created, 4u);
    EXPECT_EQ(exportCsv(copy), text);
    ASSERT_TRUE(book.SaveData(path("a.ini")).ok());
    ASSERT_TRUE(copy.SaveData(path("b.ini")).ok());
    EXPECT_EQ(readFile(path("a.ini")), readFile(path("b.ini")));
}

TEST_F(AddrBookCsv, ImportMergesIntoTheBook)
{
    const std::string csv = "\xEF\xBB\xBF"
                            "system,fleet,unit,name,comment,last_seen,checked\n"
                            "1234,200,2001,,new comment,2001/01/01 00:00:00,0\n"
                            "1234,200,2002,\"Mobile\n2\",,2020/02/02 02:02:02,\n"
                            "1234,,,,,,,0,9\n"
                            "\n"
                            "9,8,,Kj\xF8ge,,,1\n";
    const velkor::Result<velkor::CsvImportCounts> r = importCsv(book, csv);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->created, 2u); // rows: unit 2002; fleet 8 (with its system 9)
    EXPECT_EQ(r->updated, 2u);
    const TreeItem* base = book.FindAddr({1234, 200, 2001});
    EXPECT_EQ(name(base), "Base \"One\""); // an empty name keeps the stored one
    EXPECT_EQ(field(base, velkor::AddrField::Comment), "new comment");
    EXPECT_EQ(field(base, velkor::AddrField::LastSeen), seen); // a stored Last Seen stays
    EXPECT_FALSE(checked(base));
    const TreeItem* mobile = book.FindAddr({1234, 200, 2002});
    EXPECT_EQ(name(mobile), "Mobile 2");
    EXPECT_TRUE(checked(mobile)); // new units are checked, as AddAddr makes them
    EXPECT_EQ(field(mobile, velkor::AddrField::LastSeen), "2020/02/02 02:02:02");
    EXPECT_EQ(book.GetAddrName(9, 0, 0), "New System");
    EXPECT_EQ(book.GetAddrName(9, 8, 0), "Kj\xC3\xB8ge"); // a spreadsheet's Windows-1252
    EXPECT_TRUE(checked(book.FindAddr({9, 8, 0})));
    EXPECT_EQ(book.FollowRule({1234, 200, 2001}), (velkor_follow_rule_s{false, 3})); // empty keeps the own 3
    EXPECT_EQ(book.FollowRule({1234, 201, 5}), (velkor_follow_rule_s{true, 9}));
}

TEST_F(AddrBookCsv, LeadingZeroIdentsReadBackOntoTheirNodes)
{
    writeFile(path(), "[0042]\nsysName=Zeros\n");
    AddrBook zeros{notices};
    ASSERT_TRUE(zeros.LoadData(path()).ok());
    ASSERT_TRUE(importCsv(zeros, "0042,7,,Seven,,,\n").ok());
    EXPECT_EQ(zeros.Roots().size(), 1u);
    EXPECT_EQ(name(zeros.GetRoot("0042")->children[0].get()), "Seven");
}

TEST_F(AddrBookCsv, BadRowsAreRefusedWithTheirLineAndNothingChanges)
{
    struct Case {
        std::string csv;
        std::string error;
    };
    const Case cases[] = {
        {"1,2,3,a,b,c\n", "line 1: 6 columns"},
        {"1,2,3,a,b,c,1,x\n", "line 1: 8 columns"},
        {"system,fleet,unit,name,comment,last_seen,checked\n",
         "line 1: system \"system\" is not a number"}, // only first
        {"5,,,,,,\nx,,,,,,\n", "line 2: system \"x\" is not a number"},
        {"5,-1,,,,,\n", "line 1: fleet \"-1\" is not a number"},
        {"5,1, 7,,,,\n", "line 1: unit \" 7\" is not a number"},
        {"0,,,,,,\n", "line 1: system 0 is out of range"},
        {"5,4294967296,,,,,\n", "line 1: fleet 4294967296 is out of range"},
        {"5,1,0,,,,\n", "line 1: unit 0 is out of range"},
        {"5,,3,,,,\n", "line 1: unit given without a fleet"},
        {",,,,,,\n", "line 1: system is empty"},
        {"5,1,2,,,,yes\n", "line 1: checked \"yes\" is not 0 or 1"},
        {"5,1,2,,,,1,2,\n", "line 1: lockout \"2\" is not a number from 0 to 1"},
        {"5,1,2,,,,1,,10\n", "line 1: priority \"10\" is not a number from 0 to 9"},
        {"5,1,2,\"a\nb\",,,\n6,1,2,\"open,,,\n", "line 3: quoted field is not closed"},
        {"5,1,2,a\"b,,,\n", "line 1: quote inside an unquoted field"},
    };
    for (const Case& c : cases) {
        const std::string before = exportCsv(book);
        const velkor::Result<velkor::CsvImportCounts> r = importCsv(book, "1234,200,2001,Renamed,,,0\r\n" + c.csv);
        EXPECT_FALSE(r.ok()) << c.csv;
        // The good first row shifts every line by one.
        std::string expected = c.error;
        const size_t n = std::stoul(expected.substr(5));
        expected = "line " + std::to_string(n + 1) + expected.substr(expected.find(':'));
        EXPECT_EQ(r.error().substr(0, expected.size()), expected) << r.error();
        EXPECT_EQ(exportCsv(book), before);
    }
    EXPECT_EQ(book.GetAddrName(4294967295u, 0, 0), "4294967295");
    EXPECT_TRUE(importCsv(book, "4294967295,4294967295,4294967295,,,,\n").ok());
}

// The program itself, on files.
class AddrBookTool : public AddrBookFixture {
protected:
    testsignal::ToolResult run(const std::vector<std::string>& args)
    {
        return testsignal::runTool(VELKOR_ADDRBOOK_TOOL, args, {}, dir.string());
    }
};

TEST_F(AddrBookTool, StatsExportImport)
{
    writeFile(path(),
              "[1]\nsysName=A\nnumberOfFleets=1\nfleet0-Id=2\nfleet0-NrOfUnits=2\nfleet0-unit0-Id=3\n"
              "fleet0-unit0-Checked=1\nfleet0-unit1-Id=4\n");
    auto r = run({"stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "systems 1 fleets 1 units 2 checked 1\n");

    EXPECT_EQ(run({"export", "book.csv"}).status, 0);
    EXPECT_EQ(readFile(path("book.csv")).substr(0, 67),
              "system,fleet,unit,name,comment,last_seen,checked,lockout,priority\r\n");

    writeFile(path("in.csv"), "1,2,5,Five,,,1\n7,,,Seven,,,\n");
    EXPECT_EQ(run({"import", "in.csv"}).status, 0);
    r = run({"--file", "addrbook.ini", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "systems 2 fleets 1 units 3 checked 2\n");

    const std::string before = readFile(path());
    writeFile(path("bad.csv"), "1,2,6,Six,,,1\n1,2,x,,,,\n");
    r = run({"import", "bad.csv"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(path()), before);

    for (const char* command : {"stats", "export"}) {
        r = run({"--file", "other.ini", command});
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_EQ(r.err, "velkor-addrbook: other.ini does not exist\n") << command;
    }
    EXPECT_EQ(run({"import", "missing.csv"}).status, 2);
    EXPECT_EQ(run({"frobnicate"}).status, 2);
}

} // namespace
