#include "profile/VelkorConfig.h"

#include "profile/MotorolaPlanText.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <utility>

namespace velkor {

using namespace velkor_ini;

velkor::Result<VelkorConfig> VelkorConfig::load()
{
    return load(kFileName);
}

velkor::Result<VelkorConfig> VelkorConfig::load(const std::string& path)
{
    auto profile = ProfileFile::load(path);
    if (!profile)
        return velkor::fail(profile.error());
    return VelkorConfig(std::move(*profile));
}

bool VelkorConfig::flag(const char* section, const char* key, int32_t def) const
{
    return m_profile.getInt(section, key, def) == 1;
}

velkor_settings_s VelkorConfig::settings() const
{
    velkor_settings_s s;
    s.samplerate = m_profile.getUInt(kAudio, kSampleRate, 48000);
    if (const auto text = m_profile.get(kAudio, kSampleRate); text && !text->empty()) {
        const size_t digit = text->find_first_not_of("+-");
        if (digit == std::string::npos || (*text)[digit] < '0' || (*text)[digit] > '9')
            s.samplerate_problem =
                std::string(kSampleRate) + "=" + *text + " in [" + kAudio + "] of velkor.ini is not a number";
    }
    s.mute = flag(kAudio, kMute, 1);
    s.receiver_type = m_profile.getUInt(kTracking, kReceiverType, 0);
    s.comport = m_profile.getUInt(kTracking, kComPort, 0);
    s.memory = m_profile.getUInt(kTracking, kMemory, 0);
    s.follow_calls = flag(kTracking, kFollowCalls, 1);
    s.scan_on_clear = flag(kTracking, kScanOnClear, 0);
    s.auto_add = flag(kTracking, kAutoAdd, 1);
    s.backlight = flag(kTracking, kBacklight, 0);
    s.return_to_cc = flag(kTracking, kReturnToCc, 0);
    // A negative number reads as a huge one: an hour is the longest wait there is.
    s.resume_ms = std::min(m_profile.getUInt(kTracking, kResumeMs, 0), velkor_settings_s::kMaxResumeMs);
    s.rigctl_server = m_profile.getString(kRigctl, kServer, kDefaultServer);
    s.deemphasis =
        velkor::parseDeemphasis(m_profile.getString(kAudio, kDeemphasis, "auto")).value_or(velkor::Deemphasis::Auto);
    s.motorola_plans = fixedMotorolaPlans();
    return s;
}

velkor_channel_plan_s VelkorConfig::channelPlan(uint32_t system) const
{
    const std::string id = std::to_string(system);
    velkor_channel_plan_s plan;
    plan.base = m_profile.getUInt(kSystems, "sysBase_" + id, 4200000);
    plan.step = m_profile.getUInt(kSystems, "sysStep_" + id, 125);
    plan.offset = static_cast<int16_t>(static_cast<uint16_t>(m_profile.getUInt(kSystems, "sysOffset_" + id, 0)));
    if (auto band = motorolaPlan(system))
        plan.band = std::move(*band);
    else
        plan.band_error = band.error();
    return plan;
}

velkor::Result<MotorolaBandPlan> VelkorConfig::motorolaPlan(uint32_t system) const
{
    const std::string planKey = kBandPlanKey + std::to_string(system);
    const std::string rowsKey = kRowsKey + std::to_string(system);
    const std::string name = m_profile.getString(kSystems, planKey);
    const std::string rowsText = m_profile.getString(kSystems, rowsKey);
    auto plan = parseMotorolaPlanName(name);
    if (!plan)
        return velkor::fail(planKey + "=" + name + ": " + plan.error());
    auto rows = parseMotorolaRows(rowsText);
    if (!rows)
        return velkor::fail(rowsKey + "=" + rowsText + ": " + rows.error());
    if (!rows->empty() && plan->kind != MotorolaPlanKind::Obt)
        return velkor::fail(rowsKey + "=" + rowsText + ": rows belong to the obt plan, not " + name);
    plan->rows = std::move(*rows);
    return plan;
}

MotorolaPlans VelkorConfig::fixedMotorolaPlans() const
{
    MotorolaPlans plans;
    const size_t prefix = std::char_traits<char>::length(kBandPlanKey);
    for (const std::string& key : m_profile.keys(kSystems)) {
        if (key.size() <= prefix || strncasecmp(key.c_str(), kBandPlanKey, prefix) != 0)
            continue;
        uint32_t system = 0;
        const char* end = key.data() + key.size();
        const auto [at, ec] = std::from_chars(key.data() + prefix, end, system);
        if (ec != std::errc() || at != end)
            continue;
        auto plan = motorolaPlan(system);
        if (plan && plan->kind != MotorolaPlanKind::Obt)
            plans[system] = std::move(*plan);
    }
    return plans;
}

velkor_record_settings_s VelkorConfig::recordSettings() const
{
    velkor_record_settings_s r;
    r.dir = m_profile.getString(kRecord, kRecordDir);
    r.format = m_profile.getString(kRecord, kRecordFormat, "flac");
    if (r.format.empty())
        r.format = "flac";
    r.keepDays = m_profile.getUInt(kRecord, kKeepDays, 0);
    // A number with a fraction may be given ("0.5"); what is not a number keeps the
    // default.
    const std::string min = m_profile.getString(kRecord, kMinSeconds);
    double seconds = 0;
    const auto [end, ec] = std::from_chars(min.data(), min.data() + min.size(), seconds);
    if (ec == std::errc() && end != min.data() && seconds >= 0)
        r.minSeconds = seconds;
    return r;
}

std::string VelkorConfig::serialDevice(uint32_t port) const
{
    std::string device = m_profile.getString(kSerial, "com" + std::to_string(port));
    if (!device.empty())
        return device;
    return "/dev/ttyS" + std::to_string(port - 1);
}

velkor::Result<std::string> VelkorConfig::comPortDevice(int64_t port)
{
    if (port < 1 || port > kMaxComPort)
        return velkor::fail("COM port number " + std::to_string(port) + " names no serial device (1 to 8 digits)");
    auto config = load();
    if (!config)
        return velkor::fail(config.error());
    return config->serialDevice(static_cast<uint32_t>(port));
}

} // namespace velkor
