// One record of the address book: a system, a fleet or a unit. Texts are UTF-8 (see
// AddrText.h for how they meet the 8-bit world of the file and the log). The ident is
// the record's identity in the book and in the file: the text it was created or
// loaded with, compared byte for byte, and never changed afterwards.
#pragma once

#include <string>

namespace velkor {

enum class AddrField { Name, Ident, Comment, LastSeen };

struct AddrEntry {
    std::string ident;
    std::string name;
    std::string comment;
    std::string lastSeen; // kept for units only
    bool checked = false;
    // Whom to follow besides the checked mark: kInherit when the record has no value
    // of its own and takes its parent's. lockout non-zero: never follow a call of it;
    // priority 1 the highest to 9 the lowest, 0 (or any other number) none.
    static constexpr int kInherit = -1;
    int lockout = kInherit;
    int priority = kInherit;

    const std::string& text(AddrField field) const
    {
        switch (field) {
        case AddrField::Ident:
            return ident;
        case AddrField::Comment:
            return comment;
        case AddrField::LastSeen:
            return lastSeen;
        case AddrField::Name:
            break;
        }
        return name;
    }
    std::string& text(AddrField field)
    {
        return const_cast<std::string&>(static_cast<const AddrEntry*>(this)->text(field));
    }
};

} // namespace velkor
