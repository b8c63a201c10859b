// Any bytes as a CSV file given to the address book's import (velkor-addrbook import):
// into a book that already holds a system, a fleet and units. A file with a bad row
// changes nothing; a good one leaves a book whose export imports into an empty book
// as the same book: the same rows (new nodes take their place in the book as
// AddAddr gives it, so the order may differ).
// Covers addrbook/AddrBookCsv (the RFC 4180 reader, the row checks, the merge into
// the book and the export) and the book's AddAddr.
#include "FuzzUtil.h"
#include "addrbook/AddrBook.h"
#include "addrbook/AddrBookCsv.h"
#include "notify/Notices.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace velkor;

namespace {

constexpr std::string_view kBook = "system,fleet,unit,name,comment,last_seen,checked,lockout,priority\r\n"
                                   "1,,,Site,,,1,,\r\n"
                                   "1,2,,\"Fleet, two\",roof,,1,0,3\r\n"
                                   "1,2,3,Dispatch,\"say \"\"hi\"\"\",2024-05-01 12:00,1,1,\r\n"
                                   "1,2,4,,,,0,,9\r\n";

// The rows of an export, in a fixed order.
std::vector<std::vector<std::string>> rows(const std::string& csv)
{
    const auto records = parseCsv(csv);
    FUZZ_CHECK(records.ok());
    std::vector<std::vector<std::string>> out;
    for (const CsvRecord& r : *records)
        out.push_back(r.fields);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static velkor::SilentNotices quiet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    AddrBook book(quiet);
    FUZZ_CHECK(importCsv(book, kBook).ok());
    const std::string before = exportCsv(book);
    const auto imported = importCsv(book, text);
    const std::string after = exportCsv(book);
    if (!imported.ok()) {
        FUZZ_CHECK(after == before);
        FUZZ_CHECK(!imported.error().empty());
        return 0;
    }

    AddrBook copy(quiet);
    const auto again = importCsv(copy, after);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(rows(exportCsv(copy)) == rows(after));
    return 0;
}
