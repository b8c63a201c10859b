// The address book file, addrbook.ini: one section per system, named by its Ident, with
// numbered keys for its fleets and their units (see SaveData for the order). The file
// is parsed once per load and written whole per save; the writing is atomic.
#include "addrbook/AddrText.h"
#include "addrbook/CAddrBook.h"
#include "notify/MessageBox.h"
#include "profile/ProfileFile.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

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

int CAddrBook::LoadData(const std::string& path)
{
    auto loaded = ProfileFile::load(path);
    if (!loaded) {
        // The file is there but we cannot read it: the book stays as it is, and the
        // file must not be replaced by it at the next save.
        m_loadIncomplete = true;
        showMessageBox("Error reading address book: " + loaded.error());
        return 0;
    }
    ProfileFile file = std::move(*loaded);

    for (const std::string& section : file.sections()) {
        // "[]", or a name holding a NUL or CR byte, in a damaged file: no system
        // number, and no way to write it back.
        if (section.empty() || section.find_first_of(std::string_view("\0\r", 2)) != std::string::npos)
            continue;
        const std::string sysName = decodeStoredText(file.getString(section, "sysName"));
        const std::string sysComment = decodeStoredText(file.getString(section, "sysComment"));
        CTreeItem* sys = GetRoot(section);
        if (!sys) {
            sys = insertNode(nullptr, MakeNodeData(kImageSystem, sysName, section, sysComment, false));
            if (!sys) {
                m_loadIncomplete = true;
                showMessageBox("Error inserting system in addressbook!");
                return 0;
            }
        }

        const SectionEntries entries = scanKeys(file.keys(section));
        const uint32_t fleets = file.getUInt(section, "numberOfFleets", 0);
        unsigned checkedFleets = 0;
        for (const auto& [i, unitIndexes] : entries) {
            if (i >= fleets)
                break;
            const uint32_t fleetId = file.getUInt(section, key(i, "Id"), 0);
            if (fleetId == 0)
                continue;
            const std::string fleetIdent = Ident(fleetId);
            CTreeItem* flt = FindChild(sys, fleetIdent);
            const bool merged = flt != nullptr;
            if (merged) {
                showMessageBox("Error in CAddrBookCtrl::LoadData(), duplicate fleet item in system!");
            } else {
                flt = insertNode(sys, MakeNodeData(kImageFleet, decodeStoredText(file.getString(section, key(i, "Name"))),
                                                   fleetIdent, decodeStoredText(file.getString(section, key(i, "Comment"))),
                                                   true));
                if (!flt) {
                    m_loadIncomplete = true;
                    showMessageBox("Error inserting fleet in addressbook!");
                    return 0;
                }
            }

            const uint32_t units = file.getUInt(section, key(i, "NrOfUnits"), 0);
            unsigned checkedUnits = 0;
            for (const uint32_t j : unitIndexes) {
                if (j >= units)
                    break;
                const uint32_t unitId = file.getUInt(section, key(i, j, "Id"), 0);
                const int32_t checked = file.getInt(section, key(i, j, "Checked"), 0);
                // Counted before the Id is looked at, as the file has always been read:
                // a skipped entry that was checked still marks its fleet.
                if (checked != 0)
                    ++checkedUnits;
                if (unitId == 0)
                    continue;
                const std::string unitIdent = Ident(unitId);
                if (FindChild(flt, unitIdent)) {
                    showMessageBox("Error in CAddrBookCtrl::LoadData(), duplicate addr item in fleet!");
                    continue;
                }
                auto data = MakeNodeData(kImageUnit, decodeStoredText(file.getString(section, key(i, j, "Name"))),
                                         unitIdent, decodeStoredText(file.getString(section, key(i, j, "Comment"))),
                                         checked != 0);
                data->SetSubItemText(kColLastSeen - 1, decodeStoredText(file.getString(section, key(i, j, "LastSeen"))));
                if (!insertNode(flt, std::move(data))) {
                    m_loadIncomplete = true;
                    showMessageBox("Error inserting addr in addressbook!");
                    return 0;
                }
            }
            // A fleet listed twice is marked when either of its entries holds a checked
            // unit; the second entry must not take back the mark of the first.
            if (checkedUnits > 0) {
                SetCheck(flt, true);
                ++checkedFleets;
            } else if (!merged) {
                SetCheck(flt, false);
            }
        }
        if (checkedFleets > 0)
            SetCheck(sys, true);
        SortChildren(sys, true);
    }
    return 1;
}

int CAddrBook::SaveData(const std::string& path)
{
    m_lastSaveError.clear();
    const auto refuse = [this](std::string why) {
        m_lastSaveError = std::move(why);
        return 0;
    };
    if (m_loadIncomplete) {
        const std::string why = "Address book not saved: loading " + path
                                + " stopped early, and saving the part that was loaded would erase the rest. The file is left as it was.";
        log(why);
        return refuse(why);
    }
    // Built whole in memory and renamed into place in one step, so that nothing from
    // an earlier save survives and a crash never leaves half a book behind.
    ProfileFile file = emptyProfile(firstLineEndsWithCrlf(path));
    try {
        for (const auto& sys : Roots()) {
            if (!sys) {
                showMessageBox("Error getting system node in CAddrBookCtrl::SaveData()!");
                return refuse("Error getting system node in CAddrBookCtrl::SaveData()!");
            }
            if (!sys->data) {
                showMessageBox("Error getting system node data in CAddrBookCtrl::SaveData()!");
                return refuse("Error getting system node data in CAddrBookCtrl::SaveData()!");
            }
            const std::string& section = sys->data->GetSubItem(kColIdent - 1);
            file.setString(section, "sysName", encodeStoredText(sys->data->GetItemText()));
            file.setString(section, "sysComment", encodeStoredText(sys->data->GetSubItem(kColComment - 1)));
            if (!sys->children.empty())
                file.setString(section, "numberOfFleets", std::to_string(sys->children.size()));
            uint32_t i = 0;
            for (const auto& flt : sys->children) {
                if (!flt) {
                    showMessageBox("Error getting fleet node in CAddrBookCtrl::SaveData()!");
                    return refuse("Error getting fleet node in CAddrBookCtrl::SaveData()!");
                }
                if (!flt->data) {
                    showMessageBox("Error getting fleet node data in CAddrBookCtrl::SaveData()!");
                    return refuse("Error getting fleet node data in CAddrBookCtrl::SaveData()!");
                }
                file.setString(section, key(i, "Name"), encodeStoredText(flt->data->GetItemText()));
                file.setString(section, key(i, "Id"), flt->data->GetSubItem(kColIdent - 1));
                file.setString(section, key(i, "Comment"), encodeStoredText(flt->data->GetSubItem(kColComment - 1)));
                if (!flt->children.empty())
                    file.setString(section, key(i, "NrOfUnits"), std::to_string(flt->children.size()));
                uint32_t j = 0;
                for (const auto& unit : flt->children) {
                    if (!unit) {
                        showMessageBox("Error getting addr node in CAddrBookCtrl::SaveData()!");
                        return refuse("Error getting addr node in CAddrBookCtrl::SaveData()!");
                    }
                    if (!unit->data) {
                        showMessageBox("Error getting addr node data in CAddrBookCtrl::SaveData()!");
                        return refuse("Error getting addr node data in CAddrBookCtrl::SaveData()!");
                    }
                    const CItemInfo& d = *unit->data;
                    file.setString(section, key(i, j, "Name"), encodeStoredText(d.GetItemText()));
                    file.setString(section, key(i, j, "Id"), d.GetSubItem(kColIdent - 1));
                    file.setString(section, key(i, j, "Comment"), encodeStoredText(d.GetSubItem(kColComment - 1)));
                    file.setString(section, key(i, j, "LastSeen"), encodeStoredText(d.GetSubItem(kColLastSeen - 1)));
                    file.setString(section, key(i, j, "Checked"), d.GetCheck() ? "1" : "0");
                    ++j;
                }
                ++i;
            }
        }
        if (const velkor::Status saved = file.save(path); !saved) {
            showMessageBox("Error saving address book: " + saved.error());
            return refuse("Error saving address book: " + saved.error());
        }
    } catch (const std::invalid_argument& e) {
        showMessageBox(std::string("Error saving address book: ") + e.what());
        return refuse(std::string("Error saving address book: ") + e.what());
    }
    return 1;
}
