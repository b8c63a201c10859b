// Alias lists of RadioReference, trunk-recorder and SDRTrunk into the book: the samples
// in data/ (written from the formats' public descriptions), bad rows, encodings.
#include "AddrBookFixture.h"

#include "addrbook/AddrImport.h"

using namespace velkor;

namespace {

std::string sample(const std::string& name)
{
    return testsignal::readFile(std::string(VELKOR_ADDRBOOK_DATA) + "/" + name);
}

struct Unit {
    uint32_t ident;
    const char *name, *comment;
    int priority = AddrEntry::kInherit, lockout = AddrEntry::kInherit;
};

struct GoodCase {
    const char *file, *format; // format "": detected
    std::vector<Unit> units;
};

class AddrImport : public AddrBookFixture, public ::testing::WithParamInterface<GoodCase> {
protected:
    AddrBook book{notices};
    velkor::Result<CsvImportCounts> import(const std::string& text, const char* format = "", bool checked = false,
                                           bool keepNames = false)
    {
        const auto f = *format ? std::optional(*importFormatOf(format)) : std::nullopt;
        return importAliases(book, text, {f, 4660, 1, checked, keepNames});
    }
};

TEST_P(AddrImport, SampleFileImportsIntoTheFleetGiven)
{
    const velkor::Result<CsvImportCounts> r = import(sample(GetParam().file), GetParam().format);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->created, GetParam().units.size());
    for (const Unit& u : GetParam().units) {
        const TreeItem* n = book.FindAddr({4660, 1, u.ident});
        ASSERT_TRUE(n) << u.ident;
        EXPECT_EQ(n->entry.name, u.name);
        EXPECT_EQ(n->entry.comment, u.comment);
        EXPECT_EQ(n->entry.priority, u.priority) << u.ident;
        EXPECT_EQ(n->entry.lockout, u.lockout) << u.ident;
        EXPECT_FALSE(n->entry.checked);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AddrImport,
    ::testing::Values(
        GoodCase{"radioreference.csv",
                 "",
                 {{16, "PD Disp North", "Police Dispatch - North Precinct"},
                  {48, "PD Tac 2", "Police Tactical 2, Special Ops"},
                  {112, "FD Dispatch", "Fire Dispatch / Paging"},
                  {144, "FD Fireground", "Fireground Operations"},
                  {2032, "EMS Ops", "EMS Operations"}}},
        GoodCase{"radioreference-dec.csv",
                 "radioreference",
                 {{208, "PW Streets", "Public Works - Streets"}, {240, "Sch Bus", "School Buses"}}},
        GoodCase{"trunk-recorder-talkgroups.csv",
                 "",
                 {{16, "PD Disp North", "Police Dispatch - North Precinct", 1},
                  {112, "FD Dispatch", "Fire Dispatch / Paging", 2},
                  {208, "PW Streets", "Public Works - Streets", 5},
                  {2032, "EMS Ops", "EMS Operations (encrypted)", AddrEntry::kInherit, 1}}},
        GoodCase{"trunk-recorder-unittags.csv",
                 "trunk-recorder",
                 {{701201, "Engine 1", ""}, {701202, "Ladder 2", ""}, {703107, "Car 17 (Sgt)", ""}}},
        GoodCase{"sdrtrunk-playlist.xml",
                 "",
                 {{16, "PD Disp North", "Police"}, {112, "FD Dispatch", "Fire"}, {701201, "Engine 1", "Fire"}}}));

TEST_F(AddrImport, BadFilesNameTheirLineAndChangeNothing)
{
    const char* const cases[][3] = {
        // format, file, error
        {"radioreference", "Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category\n16,10,A,A,,,\nx1,,B,A,,,\n",
         "line 3: Decimal \"x1\" is not a number"},
        {"radioreference", "16,10,A,A,,,\n", "line 1: not a RadioReference talkgroup header"},
        {"radioreference", "DEC,HEX,Mode,Alpha Tag,Description,Tag,Category\n0,0,A,Z,,,\n", "line 2: Decimal \"0\""},
        {"trunk-recorder", "Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category,Priority\n16,10,A,A,,,,high\n",
         "line 2: Priority \"high\" is not a number"},
        {"trunk-recorder", "1201,Engine 1\n1202\n", "line 2: 1 columns, expected 2"},
        {"trunk-recorder", "Decimal,Hex,Alpha Tag\n\"16,10,A\n", "line 2: quoted field is not closed"},
        {"sdrtrunk", "<playlist>\n<alias name=\"A\">\n<id type=\"talkgroup\" value=\"x\"/>\n</alias></playlist>",
         "line 3: talkgroup value \"x\""},
        {"sdrtrunk", "<playlist>\n<alias name=\"A\">\n</playlist>", "line 3:"},
        {"sdrtrunk", "<list/>", "line 1: the root element is <list>"},
        {"", "name,number\nA,1\n", "line 1: 2 columns, expected 9"},
    };
    book.AddAddr({4660, 1, 16});
    const std::string before = exportCsv(book);
    for (const auto& [format, text, error] : cases) {
        const velkor::Result<CsvImportCounts> r = import(text, format);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_NE(r.error().find(error), std::string::npos) << r.error();
        EXPECT_EQ(exportCsv(book), before) << text;
    }
}

TEST_F(AddrImport, Windows1252AndUtf8ReadAlike)
{
    const std::pair<std::string, const char*> files[] = {
        {"Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category\n16,10,@,A,,,\n", ""},
        {"Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category,Priority\n16,10,@,A,,,,\n", ""},
        {"16,@\n", "trunk-recorder"},
        {"<playlist><alias name=\"@\"><id type=\"talkgroup\" value=\"16\"/></alias></playlist>", ""}};
    for (const auto& [file, format] : files)
        for (const char* name : {"K\xF8ge", "K\xC3\xB8ge"}) {
            const std::string text = std::string(file).replace(file.find('@'), 1, name);
            book.DeleteAll();
            ASSERT_TRUE(import(text, format).ok()) << text;
            const TreeItem* unit = book.FindAddr({4660, 1, *format ? 700016u : 16u});
            EXPECT_EQ(unit ? unit->entry.name : "", "K\xC3\xB8ge") << text;
        }
}

TEST_F(AddrImport, ExistingEntriesKeepTickAndLastSeenAndNamesWithKeepNames)
{
    prepare(book);
    book.AddAddr({4660, 1, 16}); // checked, Last Seen stamped, named "16"
    const std::string seen = book.FindAddr({4660, 1, 16})->entry.lastSeen;
    ASSERT_TRUE(import(sample("radioreference.csv"), "", false, true).ok());
    const TreeItem* kept = book.FindAddr({4660, 1, 16});
    EXPECT_EQ(kept->entry.name, "16");
    EXPECT_TRUE(kept->entry.checked);
    EXPECT_EQ(kept->entry.lastSeen, seen);
    ASSERT_TRUE(import(sample("radioreference.csv"), "", true).ok());
    EXPECT_EQ(kept->entry.name, "PD Disp North");
    EXPECT_FALSE(book.FindAddr({4660, 1, 48})->entry.checked); // not new any more
}

TEST_F(AddrImport, ToolImportsAndRefusesBadFiles)
{
    const auto run = [&](const std::vector<std::string>& args) {
        return testsignal::runTool(VELKOR_ADDRBOOK_TOOL, args, {}, dir.string());
    };
    writeFile(path("tg.csv"), sample("trunk-recorder-talkgroups.csv"));
    EXPECT_EQ(run({"import", "tg.csv"}).status, 2); // no --system
    ASSERT_EQ(run({"import", "--system", "4660", "--fleet", "1", "--checked", "tg.csv"}).status, 0);
    EXPECT_EQ(run({"stats"}).out, "systems 1 fleets 1 units 4 checked 4\n");
    const std::string before = readFile(path());
    writeFile(path("bad.xml"), "<playlist>\n<alias name=\"A\"><id type=\"radio\" value=\"-3\"/></alias>\n</playlist>");
    auto r = run({"import", "--format", "sdrtrunk", "--system", "4660", "--fleet", "1", "bad.xml"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(path()), before);
    r = run({"export", "--format", "trunk-recorder"});
    EXPECT_NE(r.out.find("2032,7f0,EMS Ops,A,EMS Operations (encrypted),Fleet 1,New System,-1\r\n"), std::string::npos)
        << r.out;
}

} // namespace
