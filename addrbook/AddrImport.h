// Alias lists of other programs into the book, and the book out to them.
//
// Formats:
// - velkor: the book's own CSV (AddrBookCsv.h); every row carries its address.
// - radioreference: a RadioReference talkgroup CSV, header
//   "Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category" or
//   "DEC,HEX,Mode,Alpha Tag,Description,Tag,Category" (columns found by their names).
// - trunk-recorder: its talkgroup CSV (the same columns and Priority), or its unit-tags
//   CSV (unit id,tag; no header).
// - sdrtrunk: a playlist XML; each alias gives its name to the ids of type talkgroup
//   or radio below it.
//
// Talkgroups become units of the fleet given, named by their Alpha Tag (or the alias's
// name), with the Description (or the alias's group) as comment. Radios are stored as the
// Motorola decoder reports them: the radio id + 700000, beside the talkgroups of the same
// fleet. trunk-recorder's Priority becomes the unit's priority: 1 to 9 as they are, higher
// numbers 9, 0 none, -1 (never record) a lockout.
#pragma once

#include "addrbook/AddrBook.h"
#include "addrbook/AddrBookCsv.h"
#include "notify/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

enum class ImportFormat { Velkor, RadioReference, TrunkRecorder, SdrTrunk };

// What the Motorola decoder adds to a radio id so that radios do not meet talkgroups.
constexpr uint32_t kMotorolaRadioOffset = 700000;

velkor::Result<ImportFormat> importFormatOf(const std::string& name);
const char* importFormatName(ImportFormat format);
// The format the first line (or the XML root) shows; an error when it shows none.
velkor::Result<ImportFormat> detectImportFormat(std::string_view text);

struct ImportOptions {
    std::optional<ImportFormat> format; // none: detected
    uint32_t system = 0;                // the alias formats need both
    uint32_t fleet = 0;
    bool checked = false;   // new units come checked
    bool keepNames = false; // existing entries keep their names and comments
};

// One unit an alias list names; line is where it stands in the file (from 1).
struct ImportedAlias {
    size_t line = 0;
    uint32_t unit = 0;
    std::string name, comment; // UTF-8
    int lockout = AddrEntry::kInherit;
    int priority = AddrEntry::kInherit;
};

// The units of an alias list (not the velkor format), or the first bad line's error.
velkor::Result<std::vector<ImportedAlias>> readAliases(ImportFormat format, std::string_view text);

// Reads the whole file first and changes nothing unless all of it is good; then merges
// it into the book. Existing entries keep their tick and Last Seen. Without a format
// the first line decides, and a line that tells none is velkor's CSV. An alias list
// without options.system and options.fleet fails with kNeedsSystemAndFleet.
constexpr const char* kNeedsSystemAndFleet = "a system and a fleet are needed to place the units";
velkor::Result<velkor::CsvImportCounts> importAliases(AddrBook& book, std::string_view text,
                                                      const ImportOptions& options);

// trunk-recorder's talkgroup CSV of every unit of the book below its radios' offset
// (Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category,Priority): Tag the fleet's
// name, Category the system's.
std::string exportTrunkRecorder(const AddrBook& book);

} // namespace velkor
