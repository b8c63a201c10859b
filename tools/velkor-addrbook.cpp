// velkor-addrbook: statistics, CSV export and import of the address book file (velkor's
// own CSV, and the alias lists of RadioReference, trunk-recorder and SDRTrunk), with the
// dialog's own loading and saving code.

#include "addrbook/AddrBook.h"
#include "addrbook/AddrBookCsv.h"
#include "addrbook/AddrImport.h"
#include "notify/Notices.h"
#include "tools/ToolCli.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace velkor;

namespace {
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;

constexpr const char* kHelpFooter = R"(Files:
  addrbook.ini  the address book, in the current directory unless --file names
                another

Examples:
  velkor-addrbook stats
  velkor-addrbook --file /srv/radio/addrbook.ini export book.csv
  velkor-addrbook import book.csv
  velkor-addrbook import --system 4660 --fleet 1 talkgroups.csv
  velkor-addrbook import --format sdrtrunk --system 4660 --fleet 1 --checked playlist.xml
  velkor-addrbook export --format trunk-recorder talkgroups.csv

Formats (without --format the first line decides: a Priority column trunk-recorder's,
the same columns without it RadioReference's, a <playlist> root SDRTrunk's):
  velkor          system,fleet,unit,name,comment,last_seen,checked,lockout,priority
  radioreference  Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category (either order)
  trunk-recorder  its talkgroup CSV (the same and Priority) or unit tags (unit id,tag)
  sdrtrunk        a playlist XML: alias names of talkgroup and radio ids
  Talkgroups become units of --system and --fleet, radios unit id + 700000 (as the
  Motorola decoder reports them). New units come unchecked unless --checked; names and
  comments from the file win unless --keep-names.

Exit status:
  0  done
  1  the book could not be loaded, or a file could not be written
  2  bad input or usage: a book that does not exist (import creates it), a file
     that cannot be read or holds a bad row (the book is left untouched))";

void say(const std::string& text)
{
    std::fprintf(stderr, "velkor-addrbook: %s\n", text.c_str());
}

// The book's alerts, as every other line of the tool.
velkor::Notices& notices()
{
    static velkor::StderrNotices n("velkor-addrbook: ");
    return n;
}

bool load(AddrBook& book, const std::string& path)
{
    if (book.LoadData(path).ok())
        return true;
    say("could not load " + path);
    return false;
}

bool readFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        say("cannot open " + path);
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        say("cannot read " + path);
        return false;
    }
    text = ss.str();
    return true;
}

// stats and export read an existing book; only import may create one.
bool exists(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        return true;
    say(path + " does not exist");
    return false;
}

int stats(const std::string& file)
{
    AddrBook book(notices());
    if (!load(book, file))
        return kExitFailed;
    const AddrBook::Counts c = book.CountNodes();
    std::printf("systems %u fleets %u units %u checked %u\n", c.systems, c.fleets, c.units, c.checked);
    return 0;
}

int exportTo(const std::string& file, const std::string& csv, ImportFormat format)
{
    AddrBook book(notices());
    if (!load(book, file))
        return kExitFailed;
    const std::string text = format == ImportFormat::TrunkRecorder ? exportTrunkRecorder(book) : exportCsv(book);
    if (csv.empty() || csv == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : kExitFailed;
    }
    std::ofstream out(csv, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        say("cannot write " + csv);
        return kExitFailed;
    }
    return 0;
}

int importFrom(const std::string& file, const std::string& csv, ImportOptions options)
{
    std::string text;
    if (!readFile(csv, text))
        return kExitBadInput;
    if (!options.format) {
        const velkor::Result<ImportFormat> detected = detectImportFormat(text);
        // A plain velkor CSV without its header still reads as before.
        options.format = detected ? *detected : ImportFormat::Velkor;
    }
    if (*options.format == ImportFormat::Velkor && options.system != 0) {
        say(csv + ": velkor rows carry their own addresses: --system and --fleet do not apply");
        return kExitBadInput;
    }
    if (*options.format != ImportFormat::Velkor && (options.system == 0 || options.fleet == 0)) {
        say(csv + ": " + importFormatName(*options.format) + " lists no systems: --system and --fleet are needed");
        return kExitBadInput;
    }
    AddrBook book(notices());
    if (!load(book, file))
        return kExitFailed;
    const velkor::Result<velkor::CsvImportCounts> r = importAliases(book, text, options);
    if (!r) {
        say(csv + ": " + r.error() + "; nothing saved");
        return kExitBadInput;
    }
    if (!book.SaveData(file).ok()) {
        say("could not save " + file);
        return kExitFailed;
    }
    std::fprintf(stderr, "velkor-addrbook: %u nodes created, %u updated\n", r->created, r->updated);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Address book statistics, CSV export and CSV import (addrbook.ini)."};
    app.require_subcommand(1);
    std::string file = "addrbook.ini";
    std::string csv;
    std::string formatName;
    ImportOptions options;
    app.add_option("--file", file, "address book file (default: addrbook.ini in the current directory)");
    CLI::App* st = app.add_subcommand("stats", "print: systems N fleets N units N checked N");
    CLI::App* ex = app.add_subcommand("export", "write every node as a CSV row (standard output without CSV)");
    ex->add_option("csv", csv, "CSV file to write");
    ex->add_option("--format", formatName, "velkor (default) or trunk-recorder (its talkgroup CSV)");
    CLI::App* im = app.add_subcommand("import", "merge a file into the book and save it (a missing book is created)");
    im->add_option("csv", csv, "file to read")->required();
    im->add_option("--format", formatName,
                   "velkor, radioreference, trunk-recorder or sdrtrunk (default: by the header)");
    CLI::Option* sys = im->add_option("--system", options.system, "system of the imported units");
    im->add_option("--fleet", options.fleet, "fleet of the imported units")->needs(sys);
    im->add_flag("--checked", options.checked, "new units come checked");
    im->add_flag("--keep-names", options.keepNames, "existing entries keep their names and comments");
    setupTool(app, "velkor-addrbook", kHelpFooter);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        say(e.what());
        return kExitBadInput;
    }

    if (!formatName.empty()) {
        const velkor::Result<ImportFormat> f = importFormatOf(formatName);
        if (!f || (ex->parsed() && *f != ImportFormat::Velkor && *f != ImportFormat::TrunkRecorder)) {
            say(f ? "export writes velkor or trunk-recorder" : f.error());
            return kExitBadInput;
        }
        options.format = *f;
    }
    if ((st->parsed() || ex->parsed()) && !exists(file))
        return kExitBadInput;
    if (st->parsed())
        return stats(file);
    if (ex->parsed())
        return exportTo(file, csv, options.format.value_or(ImportFormat::Velkor));
    if (im->parsed())
        return importFrom(file, csv, options);
    return kExitBadInput;
}
