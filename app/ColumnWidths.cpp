#include "app/ColumnWidths.h"

#include "profile/ProfileFile.h"

namespace velkor {

namespace column_widths {

Widths load(const std::string& path)
{
    Widths widths;
    // A file that cannot be read is reported elsewhere; the widths just stay as drawn.
    if (const auto ini = ProfileFile::load(path)) {
        for (size_t c = 0; c < kKeys.size(); ++c) {
            const int32_t value = ini->getInt(kSection, kKeys[c], 0);
            // Anything wider than a few screens is a damaged value.
            if (value > 0 && value <= 10000)
                widths[c] = value;
        }
    }
    return widths;
}

velkor::Status save(const std::string& path, const Widths& widths)
{
    auto ini = ProfileFile::load(path);
    if (!ini)
        return velkor::fail(ini.error());
    for (size_t c = 0; c < kKeys.size(); ++c)
        if (widths[c])
            ini->setString(kSection, kKeys[c], std::to_string(*widths[c]));
    return ini->save(path);
}

} // namespace column_widths

} // namespace velkor
