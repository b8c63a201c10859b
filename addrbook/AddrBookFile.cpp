// The address book file, addrbook.ini: one section per system, named by its Ident, with
// numbered keys for its fleets and their units (see SaveData for the order). The file
// is parsed once per load and written whole per save; the writing is atomic.
#include "addrbook/AddrBook.h"
#include "addrbook/AddrText.h"
#include "profile/ProfileFile.h"
#include "text/Cp1252.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

namespace velkor {

namespace {

std::string key(uint32_t i, const char* field)
{
    return "fleet" + std::to_string(i) + "-" + field;
}

std::string key(uint32_t i, uint32_t j, const char* field)
{
    return "fleet" + std::to_string(i) + "-unit" + std::to_string(j) + "-" + field;
}

// Reads the decimal number at s[pos] (no sign); advances pos.
bool digits(std::string_view s, size_t& pos, uint64_t& value)
{
    const size_t start = pos;
    value = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(s[pos] - '0'), UINT64_C(1) << 40);
        ++pos;
    }
    return pos > start;
}

bool startsWithNoCase(std::string_view s, size_t pos, std::string_view prefix)
{
    if (s.size() - pos < prefix.size())
        return false;
    for (size_t k = 0; k < prefix.size(); ++k) {
        char c = s[pos + k];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[k])
            return false;
    }
    return true;
}

// The fleet indexes, and per fleet the unit indexes, that any key of the section names.
// Only these are visited: an entry without keys would be skipped anyway, so a damaged
// count ("numberOfFleets=4000000000") or a key with a huge index costs nothing.
using SectionEntries = std::map<uint32_t, std::set<uint32_t>>;

SectionEntries scanKeys(const std::vector<std::string>& keys)
{
    SectionEntries e;
    for (const std::string& k : keys) {
        size_t pos = 0;
        uint64_t i = 0;
        uint64_t j = 0;
        if (!startsWithNoCase(k, pos, "fleet"))
            continue;
        pos += 5;
        if (!digits(k, pos, i) || pos >= k.size() || k[pos] != '-' || i > UINT32_MAX)
            continue;
        auto& units = e[static_cast<uint32_t>(i)];
        ++pos;
        if (!startsWithNoCase(k, pos, "unit"))
            continue;
        pos += 4;
        if (!digits(k, pos, j) || pos >= k.size() || k[pos] != '-' || j > UINT32_MAX)
            continue;
        units.insert(static_cast<uint32_t>(j));
    }
    return e;
}

// A book last written on Windows keeps its CRLF line ends, as velkor.ini does: CRLF
// when the file's first line ends so, LF otherwise and for a new file.
bool firstLineEndsWithCrlf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    return std::getline(in, line) && !in.eof() && !line.empty() && line.back() == '\r';
}

// A profile without sections that writes the given line ends.
ProfileFile emptyProfile(bool crlf)
{
    if (!crlf)
        return {};
    // The profile takes its line ends from its first line.
    ProfileFile file = ProfileFile::parse("[-]\r\n");
    file.removeSection("-");
    return file;
}

} // namespace

// One load, in the steps the file is read in: the sections (systems), their fleets and
// the fleets' units. A failed insertion ends the load; the book keeps what it has.
class AddrBook::Loader {
public:
    Loader(AddrBook& book, const ProfileFile& file)
        : m_book(book)
        , m_file(file)
    {
    }

    velkor::Status loadSection(const std::string& section);

private:
    // The fleet of entry i; nullptr for an entry without a fleet Id.
    velkor::Result<TreeItem*> loadFleet(TreeItem* sys, uint32_t i, bool& merged);
    // The units of entry i into flt; the number of them marked checked.
    velkor::Result<unsigned> loadUnits(TreeItem* flt, uint32_t i, const std::set<uint32_t>& unitIndexes);
    std::string text(const std::string& section, const std::string& key) const
    {
        return decodeStoredText(m_file.getString(section, key));
    }
    // A lockout or priority key: its number, or kInherit when it is missing or empty.
    int rule(const std::string& key) const { return m_file.getInt(m_section, key, velkor::AddrEntry::kInherit); }
    void readRules(velkor::AddrEntry& e, const std::string& lockoutKey, const std::string& priorityKey) const
    {
        e.lockout = rule(lockoutKey);
        e.priority = rule(priorityKey);
    }
    velkor::Failure refuse(const char* text)
    {
        m_book.m_loadIncomplete = true;
        return m_book.alert(text);
    }

    AddrBook& m_book;
    const ProfileFile& m_file;
    std::string m_section;
};

velkor::Status AddrBook::Loader::loadSection(const std::string& section)
{
    m_section = section;
    TreeItem* sys = m_book.GetRoot(section);
    if (!sys) {
        velkor::AddrEntry entry{section, text(section, "sysName"), text(section, "sysComment"), "", false};
        readRules(entry, "sysLockout", "sysPriority");
        sys = m_book.insertNode(nullptr, std::move(entry));
        if (!sys)
            return refuse("Error inserting system in addressbook!");
    }
    const SectionEntries entries = scanKeys(m_file.keys(section));
    const uint32_t fleets = m_file.getUInt(section, "numberOfFleets", 0);
    unsigned checkedFleets = 0;
    for (const auto& [i, unitIndexes] : entries) {
        if (i >= fleets)
            break;
        bool merged = false;
        const velkor::Result<TreeItem*> flt = loadFleet(sys, i, merged);
        if (!flt)
            return velkor::fail(flt.error());
        if (!*flt)
            continue;
        const velkor::Result<unsigned> checkedUnits = loadUnits(*flt, i, unitIndexes);
        if (!checkedUnits)
            return velkor::fail(checkedUnits.error());
        // A fleet listed twice is marked when either of its entries holds a checked
        // unit; the second entry must not take back the mark of the first.
        if (*checkedUnits > 0) {
            m_book.SetCheck(*flt, true);
            ++checkedFleets;
        } else if (!merged) {
            m_book.SetCheck(*flt, false);
        }
    }
    if (checkedFleets > 0)
        m_book.SetCheck(sys, true);
    m_book.SortChildren(sys, true);
    return {};
}

velkor::Result<TreeItem*> AddrBook::Loader::loadFleet(TreeItem* sys, uint32_t i, bool& merged)
{
    const uint32_t fleetId = m_file.getUInt(m_section, key(i, "Id"), 0);
    if (fleetId == 0)
        return static_cast<TreeItem*>(nullptr);
    std::string fleetIdent = Ident(fleetId);
    TreeItem* flt = m_book.FindChild(sys, fleetIdent);
    merged = flt != nullptr;
    if (merged) {
        m_book.m_notices.alert("Error in CAddrBookCtrl::LoadData(), duplicate fleet item in system!");
        return flt;
    }
    velkor::AddrEntry entry{std::move(fleetIdent), text(m_section, key(i, "Name")), text(m_section, key(i, "Comment")),
                            "", true};
    readRules(entry, key(i, "Lockout"), key(i, "Priority"));
    flt = m_book.insertNode(sys, std::move(entry));
    if (!flt)
        return refuse("Error inserting fleet in addressbook!");
    return flt;
}

velkor::Result<unsigned> AddrBook::Loader::loadUnits(TreeItem* flt, uint32_t i, const std::set<uint32_t>& unitIndexes)
{
    const uint32_t units = m_file.getUInt(m_section, key(i, "NrOfUnits"), 0);
    unsigned checkedUnits = 0;
    for (const uint32_t j : unitIndexes) {
        if (j >= units)
            break;
        const uint32_t unitId = m_file.getUInt(m_section, key(i, j, "Id"), 0);
        const int32_t checked = m_file.getInt(m_section, key(i, j, "Checked"), 0);
        // Counted before the Id is looked at, as the file has always been read: a
        // skipped entry that was checked still marks its fleet.
        if (checked != 0)
            ++checkedUnits;
        if (unitId == 0)
            continue;
        std::string unitIdent = Ident(unitId);
        if (m_book.FindChild(flt, unitIdent)) {
            m_book.m_notices.alert("Error in CAddrBookCtrl::LoadData(), duplicate addr item in fleet!");
            continue;
        }
        velkor::AddrEntry unit{std::move(unitIdent), text(m_section, key(i, j, "Name")),
                               text(m_section, key(i, j, "Comment")), text(m_section, key(i, j, "LastSeen")),
                               checked != 0};
        readRules(unit, key(i, j, "Lockout"), key(i, j, "Priority"));
        if (!m_book.insertNode(flt, std::move(unit)))
            return refuse("Error inserting addr in addressbook!");
    }
    return checkedUnits;
}

velkor::Status AddrBook::LoadData(const std::string& path)
{
    auto loaded = ProfileFile::load(path);
    if (!loaded) {
        // The file is there but we cannot read it: the book stays as it is, and the
        // file must not be replaced by it at the next save.
        m_loadIncomplete = true;
        return alert("Error reading address book: " + loaded.error());
    }
    const ProfileFile file = std::move(*loaded);
    Loader loader(*this, file);
    for (const std::string& section : file.sections()) {
        // "[]", or a name holding a NUL or CR byte, in a damaged file: no system
        // number, and no way to write it back.
        if (section.empty() || section.find_first_of(std::string_view("\0\r", 2)) != std::string::npos)
            continue;
        if (velkor::Status loaded = loader.loadSection(section); !loaded)
            return loaded;
    }
    return {};
}

namespace {

// The lockout and priority a record has of its own, after its other keys; a record
// without them writes nothing, so that a book that uses neither is saved as before.
void saveRules(ProfileFile& file, const std::string& section, const std::string& lockoutKey,
               const std::string& priorityKey, const velkor::AddrEntry& e)
{
    if (e.lockout != velkor::AddrEntry::kInherit)
        file.setString(section, lockoutKey, std::to_string(e.lockout));
    if (e.priority != velkor::AddrEntry::kInherit)
        file.setString(section, priorityKey, std::to_string(e.priority));
}

void saveUnit(ProfileFile& file, const std::string& section, uint32_t i, uint32_t j, const velkor::AddrEntry& unit)
{
    file.setString(section, key(i, j, "Name"), encodeStoredText(unit.name));
    file.setString(section, key(i, j, "Id"), unit.ident);
    file.setString(section, key(i, j, "Comment"), encodeStoredText(unit.comment));
    file.setString(section, key(i, j, "LastSeen"), encodeStoredText(unit.lastSeen));
    file.setString(section, key(i, j, "Checked"), unit.checked ? "1" : "0");
    saveRules(file, section, key(i, j, "Lockout"), key(i, j, "Priority"), unit);
}

} // namespace

velkor::Status AddrBook::SaveData(const std::string& path)
{
    if (m_loadIncomplete) {
        const std::string why = "Address book not saved: loading " + path +
            " stopped early, and saving the part that was loaded would erase the rest. The file is left as it was.";
        m_notices.note(utf8ToCp1252(why));
        return velkor::fail(why);
    }
    // Built whole in memory and renamed into place in one step, so that nothing from
    // an earlier save survives and a crash never leaves half a book behind.
    ProfileFile file = emptyProfile(firstLineEndsWithCrlf(path));
    try {
        for (const auto& sys : Roots()) {
            if (!sys)
                return alert("Error getting system node in CAddrBookCtrl::SaveData()!");
            const std::string& section = sys->entry.ident;
            file.setString(section, "sysName", encodeStoredText(sys->entry.name));
            file.setString(section, "sysComment", encodeStoredText(sys->entry.comment));
            if (!sys->children.empty())
                file.setString(section, "numberOfFleets", std::to_string(sys->children.size()));
            saveRules(file, section, "sysLockout", "sysPriority", sys->entry);
            uint32_t i = 0;
            for (const auto& flt : sys->children) {
                if (!flt)
                    return alert("Error getting fleet node in CAddrBookCtrl::SaveData()!");
                file.setString(section, key(i, "Name"), encodeStoredText(flt->entry.name));
                file.setString(section, key(i, "Id"), flt->entry.ident);
                file.setString(section, key(i, "Comment"), encodeStoredText(flt->entry.comment));
                if (!flt->children.empty())
                    file.setString(section, key(i, "NrOfUnits"), std::to_string(flt->children.size()));
                saveRules(file, section, key(i, "Lockout"), key(i, "Priority"), flt->entry);
                uint32_t j = 0;
                for (const auto& unit : flt->children) {
                    if (!unit)
                        return alert("Error getting addr node in CAddrBookCtrl::SaveData()!");
                    saveUnit(file, section, i, j++, unit->entry);
                }
                ++i;
            }
        }
        if (const velkor::Status saved = file.save(path); !saved)
            return alert("Error saving address book: " + saved.error());
    } catch (const std::invalid_argument& e) {
        return alert(std::string("Error saving address book: ") + e.what());
    }
    return {};
}

} // namespace velkor
