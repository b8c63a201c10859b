// LineInMixer on the ALSA simple mixer. The element names are parameters: a real
// sound card calls its lines "Line" and "Mic"; under PulseAudio ALSA's default mixer
// shows only "Master" and "Capture", so there is nothing to mute unless one asks for
// "Capture" (the default source) on purpose.
//
// A mute switch is an ALSA switch (playback first, else capture), which passes sound
// when on: muted is 0, unmuted 1. A volume is the element's own range: muted at its
// minimum, unmuted at its maximum.
#pragma once

#include "mixer/MixerBackend.h"

#include <string>

struct _snd_mixer;
struct _snd_mixer_elem;

class AlsaMixerBackend : public MixerBackend {
public:
    explicit AlsaMixerBackend(std::string device = "default", std::string lineElement = "Line",
                              std::string micElement = "Mic");
    ~AlsaMixerBackend() override;

    void open() override;
    bool selectLine(Line line) override;
    bool selectControl(Control control, long* mutedValue, long* unmutedValue) override;
    bool set(long value) override;
    void close() override;

private:
    enum class Kind { None, PlaybackSwitch, CaptureSwitch, PlaybackVolume, CaptureVolume };

    std::string m_device;
    std::string m_lineElement;
    std::string m_micElement;
    _snd_mixer* m_mixer = nullptr;
    _snd_mixer_elem* m_elem = nullptr;
    Kind m_kind = Kind::None;
};
