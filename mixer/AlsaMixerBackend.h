// LineInMixer on the ALSA simple mixer. The element names are parameters: a real
// sound card calls its lines "Line" and "Mic"; under PulseAudio or PipeWire ALSA's
// default mixer shows only "Master" and "Capture", so there is nothing to mute there
// (PulseMixerBackend mutes the server's playback of the source instead).
//
// Only an element's playback side is ever used: it is the card's own path from the
// input to the speakers. Its capture side is the signal the decoders record; muting
// it would silence them, they would stop asking for the mute, the sound would return,
// and so on for as long as data is heard.
//
// A mute switch is an ALSA playback switch, which passes sound when on: muted is 0,
// unmuted 1. A volume is the element's own playback range: muted at its minimum,
// unmuted at its maximum.
#pragma once

#include "mixer/MixerBackend.h"

#include <chrono>
#include <string>

struct _snd_mixer;
struct _snd_mixer_elem;

namespace velkor {

class AlsaMixerBackend : public MixerBackend {
public:
    explicit AlsaMixerBackend(std::string device = "default", std::string lineElement = "Line",
                              std::string micElement = "Mic", std::chrono::milliseconds answerWithin = kAnswerWithin);
    ~AlsaMixerBackend() override;

    // How long open() waits for the mixer before it gives up.
    static constexpr std::chrono::milliseconds kAnswerWithin{800};

    velkor::Status open() override;
    bool selectLine(Line line) override;
    bool selectControl(Control control, long* mutedValue, long* unmutedValue) override;
    bool set(long value) override;
    void close() override;
    std::string detail() const override { return m_detail; }

private:
    enum class Kind { None, PlaybackSwitch, PlaybackVolume };

    std::string m_device;
    std::string m_lineElement;
    std::string m_micElement;
    std::chrono::milliseconds m_answerWithin;
    _snd_mixer* m_mixer = nullptr;
    _snd_mixer_elem* m_elem = nullptr;
    Kind m_kind = Kind::None;
    std::string m_detail;
};

} // namespace velkor
