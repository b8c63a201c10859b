// An INI profile file (velkor.ini, addrbook.ini) with the reading rules of Windows'
// private profile functions, so that files written by the Windows program read the
// same here:
//
// - "[name]" opens a section; "key=value" lines follow. Lines before the first
//   section belong to an unnamed section (name ""). A line without '=' is a key
//   without value. Leading and trailing blanks and tabs of names and values are
//   ignored. Lines starting with ';' are comments: kept, never read as keys.
// - Section and key names compare case-insensitively (ASCII letters only; other
//   bytes compare exactly). With duplicates, the first section and key win.
// - Text is 8-bit bytes (Windows-1252 in practice) and passes through unchanged:
//   no transcoding, no quote stripping. LF and CRLF line ends both read.
// - getInt is GetPrivateProfileInt: the decimal number at the start of the value
//   (optional sign, digits up to the first non-digit; "12abc" is 12, "abc" is 0,
//   "-1" is -1), wrapping modulo 2^32; the default only when the key is missing or
//   its value is empty.
//
// The file is parsed once by load(), kept in memory, and written whole by save().
// save() is atomic: the new text goes into a temporary file beside the old one,
// which is synced and then renamed over it, so a crash or a full disk leaves either
// the old file or the new one, never a truncated one. The temporary file of a save
// that was killed is removed by the next save of the same file. Untouched lines (comments,
// blank lines, spacing) are written back exactly as read, in the file's own line-end
// style (CRLF if its first line ended so; LF for new files).
#pragma once

#include "notify/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velkor {

class ProfileFile {
public:
    // An empty profile (no sections), as for a file that does not exist.
    ProfileFile() = default;

    // Reads and parses path. A missing file gives an empty profile with
    // existed() false; a file that exists but cannot be read is a failure ("Cannot
    // read PATH: REASON"), never an empty profile that a later save would write over it.
    static velkor::Result<ProfileFile> load(const std::string& path);

    // Parses profile text held in memory.
    static ProfileFile parse(std::string_view text);

    // Writes the whole profile to path atomically (see above); creates the file if
    // needed. A failure ("Cannot write PATH: REASON") leaves any old file untouched.
    velkor::Status save(const std::string& path) const;

    // The file text that save() writes.
    std::string text() const;

    // True when load() found the file.
    bool existed() const { return m_existed; }

    // The value of key in section, trimmed; nullopt when either is missing.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;

    // get() or, when the key is missing, def.
    std::string getString(std::string_view section, std::string_view key, std::string_view def = {}) const;

    // The leading decimal number of the value, wrapping modulo 2^32 as Windows does;
    // def when the key is missing or its value is empty.
    int32_t getInt(std::string_view section, std::string_view key, int32_t def) const;

    // The same number read as unsigned (a value of "-1" reads as 4294967295).
    uint32_t getUInt(std::string_view section, std::string_view key, uint32_t def) const
    {
        return static_cast<uint32_t>(getInt(section, key, static_cast<int32_t>(def)));
    }

    // Replaces the key's line in its section, or appends "key=value" at the end of
    // the section, creating the section at the end of the file when needed. A value
    // cannot span lines: CR, LF and NUL bytes in it are stored as blanks. Section
    // names must not hold CR, LF or NUL (a ']' is fine: a header reads up to its last
    // ']'); key names must not hold '=', CR, LF or
    // NUL or start with '['; names are trimmed. Breaking these throws
    // std::invalid_argument.
    void setString(std::string_view section, std::string_view key, std::string_view value);

    // Removes a key (its first line) or a whole section; false if there was none.
    bool removeKey(std::string_view section, std::string_view key);
    bool removeSection(std::string_view section);

    // Section names in file order, as written (the unnamed section before the first
    // header is not listed). Duplicates are listed once.
    std::vector<std::string> sections() const;

    // Key names of a section in file order, as written; empty for a missing section.
    std::vector<std::string> keys(std::string_view section) const;

    bool hasSection(std::string_view section) const { return findSection(section) != nullptr; }

    // Parses the leading decimal number of text with the rules of getInt; nullopt
    // for an empty text.
    static std::optional<int32_t> leadingInt(std::string_view text);

private:
    struct Line {
        std::string raw;   // as read; rebuilt when the entry is set
        std::string key;   // trimmed key; empty for blank lines
        std::string value; // trimmed value
        bool isEntry = false;
    };
    struct Section {
        std::string name;
        bool hasHeader = false; // false only for the unnamed leading section
        std::string headerRaw;
        std::vector<Line> lines;
        std::unordered_map<std::string, size_t> index; // folded key -> first line
    };

    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);
    const Line* findLine(const Section& section, std::string_view key) const;
    void addSection(std::string name, bool hasHeader, std::string headerRaw);
    static void reindex(Section& section);

    std::vector<Section> m_sections;
    std::unordered_map<std::string, size_t> m_sectionIndex; // folded name -> first section
    bool m_existed = false;
    bool m_crlf = false;
};

} // namespace velkor
