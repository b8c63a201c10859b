// Any bytes as velkor.ini: the program's settings, channel plans and serial mapping
// are read from it, and the profile it parses to must write back to text that parses
// to the same profile again.
#include "FuzzUtil.h"
#include "profile/ProfileFile.h"
#include "profile/VelkorConfig.h"

#include <string>

using namespace velkor;

namespace {

// Every value the profile holds, in file order.
std::string dump(const ProfileFile& p)
{
    std::string out;
    for (const std::string& section : p.sections()) {
        out += "[" + section + "]\n";
        for (const std::string& key : p.keys(section)) {
            const auto value = p.get(section, key);
            FUZZ_CHECK(value.has_value());
            out += key + "=" + *value + "\n";
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzzutil::ScratchFile ini("velkor.ini");
    ini.write(data, size);

    const auto loaded = VelkorConfig::load(ini.path());
    FUZZ_CHECK(loaded.ok());
    const VelkorConfig& config = *loaded;
    FUZZ_CHECK(config.profile().existed());
    const velkor_settings_s settings = config.settings();
    (void)settings;
    for (uint32_t system : {0u, 1u, 7u, 65535u, 4294967295u})
        (void)config.channelPlan(system);
    for (uint32_t port : {1u, 2u, 9u})
        FUZZ_CHECK(!config.serialDevice(port).empty());

    const ProfileFile& profile = config.profile();
    for (const std::string& section : profile.sections())
        for (const std::string& key : profile.keys(section)) {
            (void)profile.getInt(section, key, -7);
            (void)profile.getUInt(section, key, 7);
        }

    // Written back and read again, nothing changes.
    const std::string text = profile.text();
    const ProfileFile again = ProfileFile::parse(text);
    FUZZ_CHECK(again.text() == text);
    FUZZ_CHECK(dump(again) == dump(profile));

    // A setting written by the program reads back as written (values are trimmed).
    ProfileFile edited = profile;
    edited.setString(velkor_ini::kTracking, velkor_ini::kComPort, "3");
    FUZZ_CHECK(edited.save(ini.path()).ok());
    const auto rereadResult = ProfileFile::load(ini.path());
    FUZZ_CHECK(rereadResult.ok());
    const ProfileFile& reread = *rereadResult;
    FUZZ_CHECK(reread.getInt(velkor_ini::kTracking, velkor_ini::kComPort, 0) == 3);
    FUZZ_CHECK(dump(reread) == dump(edited));
    return 0;
}
