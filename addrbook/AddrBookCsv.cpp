#include "addrbook/AddrBookCsv.h"

#include "addrbook/AddrText.h"

namespace velkor {

namespace {
constexpr const char* kHeader[] = {"system",    "fleet",   "unit",    "name",    "comment",
                                   "last_seen", "checked", "lockout", "priority"};
constexpr size_t kColumns = 9;
// Files written before lockout and priority had columns.
constexpr size_t kOldColumns = 7;

// A record's own lockout or priority; empty when it takes its parent's.
std::string ruleField(int value)
{
    return value == velkor::AddrEntry::kInherit ? std::string() : std::to_string(value);
}

std::string row(const std::string& system, const std::string& fleet, const std::string& unit,
                const velkor::AddrEntry& e)
{
    std::string out = csvField(system) + ',' + csvField(fleet) + ',' + csvField(unit) + ',';
    out += csvField(e.name) + ',' + csvField(e.comment) + ',';
    out += csvField(e.lastSeen) + ',';
    out += e.checked ? "1" : "0";
    out += ',' + ruleField(e.lockout) + ',' + ruleField(e.priority);
    out += "\r\n";
    return out;
}

// An identity: decimal digits only, 1 to 4294967295. Leading zeros are allowed, so that
// an exported book with such sections reads back onto the same nodes.
velkor::Result<uint32_t> identity(const std::string& text, const char* what)
{
    if (text.empty())
        return velkor::fail(std::string(what) + " is empty");
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return velkor::fail(std::string(what) + " \"" + text + "\" is not a number");
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 0xFFFFFFFFull)
            break;
    }
    if (v == 0 || v > 0xFFFFFFFFull)
        return velkor::fail(std::string(what) + " " + text + " is out of range (1 to 4294967295)");
    return static_cast<uint32_t>(v);
}

struct ImportRow {
    size_t line;
    velkor_address_s address;
    std::string texts[3]; // the identity texts as written
    std::string name, comment, lastSeen;
    int checked;           // -1 not given
    int lockout, priority; // AddrEntry::kInherit: not given
};

bool isHeader(const CsvRecord& r)
{
    if (r.fields.size() != kColumns && r.fields.size() != kOldColumns)
        return false;
    for (size_t i = 0; i < r.fields.size(); ++i)
        if (r.fields[i] != kHeader[i])
            return false;
    return true;
}

// The identity texts of a record (system, fleet, unit) into a row.
velkor::Status readAddress(const CsvRecord& r, ImportRow& ir)
{
    const char* const what[3] = {"system", "fleet", "unit"};
    uint32_t* const numbers[3] = {&ir.address.system, &ir.address.fleet, &ir.address.unit};
    for (size_t level = 0; level < 3; ++level) {
        if (level > 0 && r.fields[level].empty())
            continue;
        if (level == 2 && r.fields[1].empty())
            return velkor::fail("unit given without a fleet");
        const velkor::Result<uint32_t> n = identity(r.fields[level], what[level]);
        if (!n)
            return velkor::fail(n.error());
        *numbers[level] = *n;
        ir.texts[level] = r.fields[level];
    }
    return {};
}

// A lockout (0 or 1) or priority (0 to 9) field; kInherit when empty.
velkor::Result<int> ruleValue(const std::string& text, const char* what, int highest)
{
    if (text.empty())
        return velkor::AddrEntry::kInherit;
    if (text.size() != 1 || text[0] < '0' || text[0] > '0' + highest)
        return velkor::fail(std::string(what) + " \"" + text + "\" is not a number from 0 to " +
                            std::to_string(highest));
    return text[0] - '0';
}

// One record checked and read into a row; the error (without its line) when a field is
// bad.
velkor::Result<ImportRow> readRow(const CsvRecord& r)
{
    if (r.fields.size() != kColumns && r.fields.size() != kOldColumns)
        return velkor::fail(std::to_string(r.fields.size()) +
                            " columns, expected 9 (system,fleet,unit,name,comment,last_seen,checked,lockout,"
                            "priority) or 7 (without lockout and priority)");
    ImportRow ir{};
    ir.line = r.line;
    if (velkor::Status address = readAddress(r, ir); !address)
        return velkor::fail(address.error());
    // Spreadsheets may save in the Windows code page; the same rule as the file.
    ir.name = singleLine(decodeStoredText(r.fields[3]));
    ir.comment = singleLine(decodeStoredText(r.fields[4]));
    ir.lastSeen = singleLine(decodeStoredText(r.fields[5]));
    const std::string& c = r.fields[6];
    if (c.empty())
        ir.checked = -1;
    else if (c == "0" || c == "1")
        ir.checked = c == "1";
    else
        return velkor::fail("checked \"" + c + "\" is not 0 or 1");
    ir.lockout = ir.priority = velkor::AddrEntry::kInherit;
    if (r.fields.size() == kColumns) {
        const velkor::Result<int> lockout = ruleValue(r.fields[7], "lockout", 1);
        if (!lockout)
            return velkor::fail(lockout.error());
        const velkor::Result<int> priority = ruleValue(r.fields[8], "priority", 9);
        if (!priority)
            return velkor::fail(priority.error());
        ir.lockout = *lockout;
        ir.priority = *priority;
    }
    return ir;
}

// Every row read, or the first error with its line.
velkor::Result<std::vector<ImportRow>> readRows(const std::vector<CsvRecord>& records)
{
    std::vector<ImportRow> rows;
    for (size_t k = 0; k < records.size(); ++k) {
        if (k == 0 && isHeader(records[k]))
            continue;
        velkor::Result<ImportRow> row = readRow(records[k]);
        if (!row)
            return velkor::fail("line " + std::to_string(records[k].line) + ": " + row.error());
        rows.push_back(std::move(*row));
    }
    return rows;
}

// The node of the row, found or created; nullptr when it could not be created.
TreeItem* placeRow(AddrBook& book, const ImportRow& ir, bool& created)
{
    // Nodes whose Ident is written with leading zeros (from an old file) are found by
    // that text; everything else goes the way AddAddr goes.
    TreeItem* node = nullptr;
    created = false;
    const uint32_t numbers[3] = {ir.address.system, ir.address.fleet, ir.address.unit};
    for (int level = 0; level < 3 && numbers[level] != 0; ++level) {
        TreeItem* found = book.Find(node, ir.texts[level]);
        if (found) {
            node = found;
            created = false;
        } else {
            node = book.EnsureNode(node, numbers[level], &created);
        }
        if (!node)
            return nullptr;
    }
    return node;
}
} // namespace

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

velkor::Result<std::vector<CsvRecord>> parseCsv(std::string_view text)
{
    std::vector<CsvRecord> records;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") // a spreadsheet's byte-order mark
        text.remove_prefix(3);
    size_t line = 1;
    size_t i = 0;
    while (i < text.size()) {
        CsvRecord rec;
        rec.line = line;
        std::string field;
        bool blank = true;
        bool done = false;
        while (!done) {
            if (i < text.size() && text[i] == '"') {
                blank = false;
                ++i;
                const size_t quoteLine = line;
                for (;;) {
                    if (i >= text.size())
                        return velkor::fail("line " + std::to_string(quoteLine) + ": quoted field is not closed");
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n')
                        ++line;
                    field += text[i++];
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n')
                    return velkor::fail("line " + std::to_string(line) + ": text after a closing quote");
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"')
                        return velkor::fail("line " + std::to_string(line) + ": quote inside an unquoted field");
                    field += text[i++];
                    blank = false;
                }
            }
            rec.fields.push_back(std::move(field));
            field.clear();
            if (i < text.size() && text[i] == ',') {
                blank = false;
                ++i;
                continue;
            }
            // End of record: CRLF, LF, lone CR or the end of the text.
            if (i < text.size() && text[i] == '\r')
                ++i;
            if (i < text.size() && text[i] == '\n')
                ++i;
            ++line;
            done = true;
        }
        if (!blank)
            records.push_back(std::move(rec));
    }
    return records;
}

std::string exportCsv(const AddrBook& book)
{
    std::string out;
    for (size_t i = 0; i < kColumns; ++i)
        out += std::string(i ? "," : "") + kHeader[i];
    out += "\r\n";
    for (const auto& sys : book.Roots()) {
        const std::string& s = sys->entry.ident;
        out += row(s, "", "", sys->entry);
        for (const auto& flt : sys->children) {
            const std::string& f = flt->entry.ident;
            out += row(s, f, "", flt->entry);
            for (const auto& unit : flt->children)
                out += row(s, f, unit->entry.ident, unit->entry);
        }
    }
    return out;
}

velkor::Result<velkor::CsvImportCounts> importCsv(AddrBook& book, std::string_view text)
{
    const velkor::Result<std::vector<CsvRecord>> records = parseCsv(text);
    if (!records)
        return velkor::fail(records.error());
    const velkor::Result<std::vector<ImportRow>> rows = readRows(*records);
    if (!rows)
        return velkor::fail(rows.error());

    using velkor::AddrField;
    velkor::CsvImportCounts counts;
    for (const ImportRow& ir : *rows) {
        bool created = false;
        TreeItem* node = placeRow(book, ir, created);
        if (!node)
            return velkor::fail("line " + std::to_string(ir.line) + ": the node could not be created");
        if (!ir.name.empty())
            book.SetField(node, AddrField::Name, ir.name);
        if (!ir.comment.empty())
            book.SetField(node, AddrField::Comment, ir.comment);
        if (created && node->indent == 3 && !ir.lastSeen.empty())
            book.SetField(node, AddrField::LastSeen, ir.lastSeen);
        if (ir.checked >= 0)
            book.SetCheck(node, ir.checked == 1);
        if (ir.lockout != velkor::AddrEntry::kInherit || ir.priority != velkor::AddrEntry::kInherit)
            book.SetRule(node, ir.lockout != velkor::AddrEntry::kInherit ? ir.lockout : node->entry.lockout,
                         ir.priority != velkor::AddrEntry::kInherit ? ir.priority : node->entry.priority);
        ++(created ? counts.created : counts.updated);
    }
    return counts;
}

} // namespace velkor
