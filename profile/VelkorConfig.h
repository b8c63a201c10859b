// The program's settings in velkor.ini. The file is named relative to the current
// working directory, so it is the directory the process is in at the moment of each
// load that counts. One load parses the file once; every reading below works on that
// copy.
//
// [audio] and [tracking] hold what the settings dialog writes; [systems] holds each
// system's channel plan, edited by hand. [serial] maps COM port numbers to device
// paths (com1=/dev/ttyUSB0), since scanners on USB cables are not /dev/ttyS*.
// [rigctl] server names the Hamlib rigctl server of receiver type 3 (HOST:PORT).
#pragma once

#include "dsp/Deemphasis.h"
#include "profile/ProfileFile.h"
#include "protocol/MotorolaBandPlan.h"

#include <cstdint>
#include <string>

namespace velkor {

namespace velkor_ini {
inline constexpr const char* kFileName = "velkor.ini";

inline constexpr const char* kAudio = "audio";
inline constexpr const char* kSampleRate = "samplerate";
inline constexpr const char* kMute = "mute";
// auto, on or off: see dsp/Deemphasis.h.
inline constexpr const char* kDeemphasis = "deemphasis";

inline constexpr const char* kTracking = "tracking";
inline constexpr const char* kReceiverType = "receiver_type";
inline constexpr const char* kComPort = "comport";
inline constexpr const char* kMemory = "memory";
inline constexpr const char* kFollowCalls = "follow_calls";
inline constexpr const char* kScanOnClear = "scan_on_clear";
inline constexpr const char* kAutoAdd = "auto_add";
inline constexpr const char* kBacklight = "backlight";
inline constexpr const char* kReturnToCc = "return_to_cc";
// After a followed call ends, how long (ms) a call between the same two parties goes
// before any other; 0, none.
inline constexpr const char* kResumeMs = "resume_ms";

inline constexpr const char* kSystems = "systems";
inline constexpr const char* kSerial = "serial";
// [systems] keys of a Motorola system's band plan, followed by its identity in decimal.
inline constexpr const char* kBandPlanKey = "sysBandPlan_";
inline constexpr const char* kRowsKey = "sysRows_";

inline constexpr const char* kRigctl = "rigctl";
inline constexpr const char* kServer = "server";
// SDR++'s rigctl port; rigctld's own default is 4532 too.
inline constexpr const char* kDefaultServer = "localhost:4532";

// The dialog's daily files: [log] dir= names their directory; none without it.
inline constexpr const char* kLog = "log";
inline constexpr const char* kLogDir = "dir";

// Recording of followed calls: [record] dir= (empty: off), format=, keep_days=,
// min_seconds=.
inline constexpr const char* kRecord = "record";
inline constexpr const char* kRecordDir = "dir";
inline constexpr const char* kRecordFormat = "format";
inline constexpr const char* kKeepDays = "keep_days";
inline constexpr const char* kMinSeconds = "min_seconds";
} // namespace velkor_ini

// [record] as written; the recorder checks the format.
struct velkor_record_settings_s {
    std::string dir;             // empty: nothing is recorded
    std::string format = "flac"; // flac, wav or opus
    uint32_t keepDays = 0;       // 0: keep everything
    double minSeconds = 1.0;     // shorter calls are not kept
};

// The settings as the running program applies them: a flag is on only when its value
// is exactly 1 (the settings dialog, which shows any non-zero value checked, reads the
// raw values through profile()).
struct velkor_settings_s {
    uint32_t samplerate = 48000;
    bool mute = true;
    uint32_t receiver_type = 0;
    uint32_t comport = 0; // 0: no receiver
    uint32_t memory = 0;  // 0: tune directly
    bool follow_calls = true;
    bool scan_on_clear = false;
    bool auto_add = true;
    bool backlight = false;
    bool return_to_cc = false;
    // [rigctl] server: where the network receiver is; empty, none.
    std::string rigctl_server = velkor_ini::kDefaultServer;
    // [audio] deemphasis; a value other than auto, on and off counts as auto.
    velkor::Deemphasis deemphasis = velkor::Deemphasis::Auto;
    // [systems] sysBandPlan_%u: the systems on a fixed (800 or 900 MHz) plan, as the
    // Motorola decoder reads their words. Bad values are left out.
    MotorolaPlans motorola_plans{};
    // [tracking] resume_ms, at most kMaxResumeMs.
    uint32_t resume_ms = 0;
    static constexpr uint32_t kMaxResumeMs = 3600000;
    // Why [audio] samplerate cannot be used as a number (its value has no leading
    // digits); empty when it can.
    std::string samplerate_problem = {};
};

// A system's channel plan as stored: base and step in units of 100 Hz.
struct velkor_channel_plan_s {
    uint32_t base = 4200000; // 420.0 MHz
    uint32_t step = 125;     // 12.5 kHz
    int16_t offset = 0;      // only the low 16 bits of the stored value count
    // sysBandPlan_%u and sysRows_%u; an obt plan without rows is the linear plan above.
    MotorolaBandPlan band{};
    // Not empty when one of them is bad ("KEY=VALUE: reason"): no channel of the
    // system is then tuned.
    std::string band_error{};
};

class VelkorConfig {
public:
    // Loads velkor.ini from the current working directory; a missing file gives every
    // default. A file that exists but cannot be read is a failure.
    static velkor::Result<VelkorConfig> load();
    static velkor::Result<VelkorConfig> load(const std::string& path);
    explicit VelkorConfig(ProfileFile profile)
        : m_profile(std::move(profile))
    {
    }

    velkor_settings_s settings() const;
    velkor_channel_plan_s channelPlan(uint32_t system) const;
    // The system's sysBandPlan_%u and sysRows_%u; the reason names the bad key and value.
    velkor::Result<MotorolaBandPlan> motorolaPlan(uint32_t system) const;
    // The systems whose sysBandPlan_%u names a fixed plan.
    MotorolaPlans fixedMotorolaPlans() const;
    velkor_record_settings_s recordSettings() const;

    // The device path that COM port `port` stands for: [serial] comN, or /dev/ttyS(N-1)
    // when the key is missing or empty. The port must be at least 1.
    std::string serialDevice(uint32_t port) const;

    // The device of COM port `port` by velkor.ini in the current directory, read now.
    // A failure for a number that can name no device (below 1, more than eight digits:
    // it comes from a hand-editable file) or a file that cannot be read.
    static velkor::Result<std::string> comPortDevice(int64_t port);
    static constexpr int64_t kMaxComPort = 99999999;

    const ProfileFile& profile() const { return m_profile; }

private:
    bool flag(const char* section, const char* key, int32_t def) const;

    ProfileFile m_profile;
};

} // namespace velkor
