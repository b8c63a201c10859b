#include "addrbook/AddrImport.h"

#include "addrbook/AddrText.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace velkor {

namespace {

// The columns of the talkgroup CSVs, found by their header names.
enum Column { kDecimal, kHex, kAlphaTag, kMode, kDescription, kTag, kCategory, kPriority, kColumnKinds };
constexpr const char* kColumnNames[kColumnKinds] = {"decimal",     "hex", "alpha tag", "mode",
                                                    "description", "tag", "category",  "priority"};
// trunk-recorder's order, for its files without a header.
constexpr int kTrunkRecorderOrder[kColumnKinds] = {0, 1, 2, 3, 4, 5, 6, 7};

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    return out;
}

// The position of each column kind in a header record; -1 where absent. Empty when the
// record is not a talkgroup header (no Decimal/DEC or no Alpha Tag).
std::vector<int> headerColumns(const CsvRecord& r)
{
    std::vector<int> at(kColumnKinds, -1);
    for (size_t i = 0; i < r.fields.size(); ++i) {
        std::string name = lower(r.fields[i]);
        if (name == "dec")
            name = "decimal";
        for (int k = 0; k < kColumnKinds; ++k)
            if (name == kColumnNames[k] && at[static_cast<size_t>(k)] < 0)
                at[static_cast<size_t>(k)] = static_cast<int>(i);
    }
    if (at[kDecimal] < 0 || at[kAlphaTag] < 0)
        return {};
    return at;
}

bool looksLikeXml(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<';
}

// A number of the file: decimal digits (or hexadecimal digits when hex), within 32 bits.
std::optional<uint64_t> number(std::string_view text, bool hex = false)
{
    const std::string t = lower(text);
    if (t.empty() || t.size() > 10)
        return std::nullopt;
    uint64_t v = 0;
    for (char c : t) {
        const int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0)
            return std::nullopt;
        v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    }
    return v <= 0xFFFFFFFFull ? std::optional<uint64_t>(v) : std::nullopt;
}

velkor::Result<uint32_t> unitNumber(const std::string& text, bool hex, uint32_t offset, const char* what)
{
    const std::optional<uint64_t> n = number(text, hex);
    if (!n || *n == 0 || *n + offset > 0xFFFFFFFFull)
        return velkor::fail(std::string(what) + " \"" + text + "\" is not a number from 1 to " +
                            std::to_string(0xFFFFFFFFull - offset));
    return static_cast<uint32_t>(*n + offset);
}

// trunk-recorder's Priority: 1 the highest; -1 never record.
velkor::Status applyPriority(const std::string& text, ImportedAlias& alias)
{
    const std::string t = lower(text);
    if (t.empty())
        return {};
    if (t == "-1") {
        alias.lockout = 1;
        return {};
    }
    const std::optional<uint64_t> p = number(t);
    if (!p)
        return velkor::fail("Priority \"" + text + "\" is not a number");
    alias.priority = static_cast<int>(std::min<uint64_t>(*p, 9));
    return {};
}

velkor::Result<ImportedAlias> talkgroupRow(const CsvRecord& r, const int* at)
{
    const auto field = [&](int kind) -> std::string {
        const int i = at[kind];
        return i >= 0 && static_cast<size_t>(i) < r.fields.size() ? r.fields[static_cast<size_t>(i)] : std::string();
    };
    ImportedAlias alias;
    alias.line = r.line;
    const bool byHex = lower(field(kDecimal)).empty() && !lower(field(kHex)).empty();
    const velkor::Result<uint32_t> tg =
        unitNumber(byHex ? field(kHex) : field(kDecimal), byHex, 0, byHex ? "Hex" : "Decimal");
    if (!tg)
        return velkor::fail(tg.error());
    alias.unit = *tg;
    alias.name = singleLine(decodeStoredText(field(kAlphaTag)));
    alias.comment = singleLine(decodeStoredText(field(kDescription)));
    if (velkor::Status p = applyPriority(field(kPriority), alias); !p)
        return velkor::fail(p.error());
    return alias;
}

velkor::Result<ImportedAlias> unitTagRow(const CsvRecord& r)
{
    if (r.fields.size() != 2)
        return velkor::fail(std::to_string(r.fields.size()) + " columns, expected 2 (unit id,tag)");
    ImportedAlias alias;
    alias.line = r.line;
    const velkor::Result<uint32_t> id = unitNumber(r.fields[0], false, kMotorolaRadioOffset, "unit id");
    if (!id)
        return velkor::fail(id.error());
    alias.unit = *id;
    alias.name = singleLine(decodeStoredText(r.fields[1]));
    return alias;
}

velkor::Result<std::vector<ImportedAlias>> csvAliases(ImportFormat format, std::string_view text)
{
    const velkor::Result<std::vector<CsvRecord>> records = parseCsv(text);
    if (!records)
        return velkor::fail(records.error());
    std::vector<ImportedAlias> out;
    if (records->empty())
        return out;
    std::vector<int> at = headerColumns(records->front());
    const bool header = !at.empty();
    if (!header && format == ImportFormat::RadioReference)
        return velkor::fail("line " + std::to_string(records->front().line) +
                            ": not a RadioReference talkgroup header (Decimal,Hex,Alpha Tag,Mode,Description,Tag,"
                            "Category or DEC,HEX,Mode,Alpha Tag,Description,Tag,Category)");
    // trunk-recorder without a header: its unit tags (two columns) or its talkgroups.
    const bool unitTags = !header && records->front().fields.size() == 2;
    if (!header)
        at.assign(std::begin(kTrunkRecorderOrder), std::end(kTrunkRecorderOrder));
    for (size_t k = header ? 1 : 0; k < records->size(); ++k) {
        const CsvRecord& r = (*records)[k];
        velkor::Result<ImportedAlias> alias = unitTags ? unitTagRow(r) : talkgroupRow(r, at.data());
        if (!alias)
            return velkor::fail("line " + std::to_string(r.line) + ": " + alias.error());
        out.push_back(std::move(*alias));
    }
    return out;
}

// The file's text for the XML reader: UTF-8 as it is, anything else as Windows-1252.
QString xmlText(std::string_view bytes)
{
    const std::string utf8 = isValidUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// One <id> of an alias: a talkgroup or a radio, or nothing for any other kind.
velkor::Result<std::optional<ImportedAlias>> playlistId(const QXmlStreamReader& xml, const ImportedAlias& alias)
{
    const QString type = xml.attributes().value(QStringLiteral("type")).toString();
    const bool radio = type == QStringLiteral("radio");
    if (!radio && type != QStringLiteral("talkgroup"))
        return std::optional<ImportedAlias>();
    const std::string value = xml.attributes().value(QStringLiteral("value")).toString().toStdString();
    const velkor::Result<uint32_t> n =
        unitNumber(value, false, radio ? kMotorolaRadioOffset : 0, radio ? "radio value" : "talkgroup value");
    if (!n)
        return velkor::fail(n.error());
    ImportedAlias out = alias;
    out.line = static_cast<size_t>(xml.lineNumber());
    out.unit = *n;
    return std::optional<ImportedAlias>(std::move(out));
}

velkor::Result<std::vector<ImportedAlias>> playlistAliases(std::string_view text)
{
    QXmlStreamReader xml(xmlText(text));
    std::vector<ImportedAlias> out;
    ImportedAlias alias;
    bool inAlias = false;
    bool root = true;
    const auto where = [&] { return "line " + std::to_string(xml.lineNumber()) + ": "; };
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == QStringLiteral("alias"))
            inAlias = false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (root && xml.name() != QStringLiteral("playlist"))
            return velkor::fail(where() + "the root element is <" + xml.name().toString().toStdString() +
                                ">, not an SDRTrunk <playlist>");
        root = false;
        if (xml.name() == QStringLiteral("alias")) {
            inAlias = true;
            alias.name = singleLine(xml.attributes().value(QStringLiteral("name")).toString().toStdString());
            alias.comment = singleLine(xml.attributes().value(QStringLiteral("group")).toString().toStdString());
        } else if (inAlias && xml.name() == QStringLiteral("id")) {
            velkor::Result<std::optional<ImportedAlias>> id = playlistId(xml, alias);
            if (!id)
                return velkor::fail(where() + id.error());
            if (*id)
                out.push_back(std::move(**id));
        }
    }
    if (xml.hasError())
        return velkor::fail(where() + xml.errorString().toStdString());
    if (root)
        return velkor::fail("line 1: no <playlist> element");
    return out;
}

} // namespace

velkor::Result<ImportFormat> importFormatOf(const std::string& name)
{
    for (ImportFormat f :
         {ImportFormat::Velkor, ImportFormat::RadioReference, ImportFormat::TrunkRecorder, ImportFormat::SdrTrunk})
        if (name == importFormatName(f))
            return f;
    return velkor::fail("unknown format \"" + name + "\" (velkor, radioreference, trunk-recorder or sdrtrunk)");
}

const char* importFormatName(ImportFormat format)
{
    switch (format) {
    case ImportFormat::RadioReference:
        return "radioreference";
    case ImportFormat::TrunkRecorder:
        return "trunk-recorder";
    case ImportFormat::SdrTrunk:
        return "sdrtrunk";
    case ImportFormat::Velkor:
        break;
    }
    return "velkor";
}

velkor::Result<ImportFormat> detectImportFormat(std::string_view text)
{
    if (looksLikeXml(text))
        return text.find("<playlist") != std::string_view::npos
            ? velkor::Result<ImportFormat>(ImportFormat::SdrTrunk)
            : velkor::fail("line 1: an XML file without an SDRTrunk <playlist> root");
    // The first line alone: a bad row further down must not hide the format.
    const size_t end = text.find_first_of("\r\n");
    const velkor::Result<std::vector<CsvRecord>> first = parseCsv(text.substr(0, end));
    if (!first || first->empty())
        return velkor::fail("line 1: no header that tells the format; give --format");
    const CsvRecord& header = first->front();
    if (!header.fields.empty() && lower(header.fields[0]) == "system")
        return ImportFormat::Velkor;
    const std::vector<int> at = headerColumns(header);
    if (!at.empty())
        return at[kPriority] >= 0 ? ImportFormat::TrunkRecorder : ImportFormat::RadioReference;
    return velkor::fail("line 1: no header that tells the format; give --format");
}

velkor::Result<std::vector<ImportedAlias>> readAliases(ImportFormat format, std::string_view text)
{
    if (format == ImportFormat::SdrTrunk)
        return playlistAliases(text);
    if (format == ImportFormat::Velkor)
        return velkor::fail("the velkor format carries addresses, not aliases");
    return csvAliases(format, text);
}

velkor::Result<velkor::CsvImportCounts> importAliases(AddrBook& book, std::string_view text,
                                                      const ImportOptions& options)
{
    // A file whose first line tells no other format is velkor's own (its header is optional).
    const velkor::Result<ImportFormat> detected = detectImportFormat(text);
    const ImportFormat format = options.format ? *options.format : detected ? *detected : ImportFormat::Velkor;
    if (format == ImportFormat::Velkor)
        return importCsv(book, text);
    const velkor::Result<std::vector<ImportedAlias>> aliases = readAliases(format, text);
    if (!aliases)
        return velkor::fail(aliases.error());
    if (options.system == 0 || options.fleet == 0)
        return velkor::fail(kNeedsSystemAndFleet);
    TreeItem* fleet = book.EnsureAddr({options.system, options.fleet, 0});
    if (!fleet)
        return velkor::fail("the fleet could not be created");
    velkor::CsvImportCounts counts;
    for (const ImportedAlias& a : *aliases) {
        bool created = false;
        TreeItem* unit = book.EnsureNode(fleet, a.unit, &created);
        if (!unit)
            return velkor::fail("line " + std::to_string(a.line) + ": the unit could not be created");
        if (created)
            book.SetCheck(unit, options.checked);
        // An empty text in the file leaves the book's text as it is.
        if (created || !options.keepNames) {
            if (!a.name.empty())
                book.SetField(unit, AddrField::Name, a.name);
            if (!a.comment.empty())
                book.SetField(unit, AddrField::Comment, a.comment);
        }
        if (a.lockout != AddrEntry::kInherit || a.priority != AddrEntry::kInherit)
            book.SetRule(unit, a.lockout != AddrEntry::kInherit ? a.lockout : unit->entry.lockout,
                         a.priority != AddrEntry::kInherit ? a.priority : unit->entry.priority);
        ++(created ? counts.created : counts.updated);
    }
    return counts;
}

std::string exportTrunkRecorder(const AddrBook& book)
{
    std::string out = "Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category,Priority\r\n";
    char hex[16];
    for (const auto& sys : book.Roots())
        for (const auto& flt : sys->children)
            for (const auto& unit : flt->children) {
                const std::optional<uint64_t> n = number(unit->entry.ident);
                if (!n || *n == 0 || *n >= kMotorolaRadioOffset)
                    continue;
                std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(*n));
                const velkor_follow_rule_s rule = AddrBook::RuleOf(unit.get());
                const std::string priority =
                    rule.lockout ? "-1" : std::to_string(rule.priority > 0 ? rule.priority : 1);
                out += unit->entry.ident + ',' + hex + ',' + csvField(unit->entry.name) + ",A," +
                    csvField(unit->entry.comment) + ',' + csvField(flt->entry.name) + ',' + csvField(sys->entry.name) +
                    ',' + priority + "\r\n";
            }
    return out;
}

} // namespace velkor
