#include "app/ColumnWidths.h"

#include "profile/ProfileFile.h"

namespace column_widths {

Widths load(const std::string& path)
{
    Widths widths;
    try {
        const ProfileFile ini = ProfileFile::load(path);
        for (size_t c = 0; c < kKeys.size(); ++c) {
            const int32_t value = ini.getInt(kSection, kKeys[c], 0);
            // Anything wider than a few screens is a damaged value.
            if (value > 0 && value <= 10000)
                widths[c] = value;
        }
    } catch (const ProfileError&) {
        // The settings are read and reported elsewhere; the widths just stay as drawn.
    }
    return widths;
}

void save(const std::string& path, const Widths& widths)
{
    ProfileFile ini = ProfileFile::load(path);
    for (size_t c = 0; c < kKeys.size(); ++c)
        if (widths[c])
            ini.setString(kSection, kKeys[c], std::to_string(*widths[c]));
    ini.save(path);
}

} // namespace column_widths
