// CSV export and import of the address book, for alias lists kept in other programs
// (talkgroup and radio names). RFC 4180: comma-separated, fields with a comma, a quote
// or a line break in double quotes, quotes doubled, CRLF line ends; UTF-8 text.
//
// Columns: system,fleet,unit,name,comment,last_seen,checked,lockout,priority. A system
// row leaves fleet and unit empty, a fleet row leaves unit empty. lockout and priority
// are a record's own values, empty where it takes its parent's; files of the first
// seven columns alone import as well.
#pragma once

#include "addrbook/AddrBook.h"
#include "notify/Result.h"

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

struct CsvRecord {
    size_t line = 0; // line number (from 1) where the record starts
    std::vector<std::string> fields;
};

// Splits RFC 4180 text into records; an unterminated or misplaced quote gives an error
// naming its line. Blank lines are not records.
velkor::Result<std::vector<CsvRecord>> parseCsv(std::string_view text);
std::string csvField(std::string_view text);

// The whole book, header first, systems in book order with each one's fleets and units
// below it.
std::string exportCsv(const AddrBook& book);

struct CsvImportCounts {
    unsigned created = 0;
    unsigned updated = 0;
};

// Checks every row first and changes nothing unless all are good ("line N: ..." names
// the first bad one); then creates the missing nodes as AddAddr does, replaces names and
// comments given non-empty, sets the mark where checked is given (0 or 1), the lockout
// (0 or 1) and priority (0 to 9) where given, and gives
// new units the Last Seen of the row.
velkor::Result<velkor::CsvImportCounts> importCsv(AddrBook& book, std::string_view text);

} // namespace velkor
