// Silences the sound card's Line-In (or, without one, its microphone input) while the
// decoders hear control-channel data. It finds the line's mute switch (or, without
// one, its volume) once, at construction, and afterwards only ever writes that one
// control with one of two values; it never reads what the user had set, so unmuting
// always gives the line its full sound back.
#pragma once

#include "mixer/MixerBackend.h"
#include "notify/Notices.h"

#include <memory>

namespace velkor {

class LineInMixer {
public:
    // Throws MixerError when there is no mixer, no line or no control (it cannot do
    // without them). The texts: the mixer's own reason, "Couldn't get Line-In mixerComponent!" and
    // "Couldn't get Volume mixerControl!". What goes wrong later is told to notices.
    LineInMixer(std::unique_ptr<MixerBackend> backend, velkor::Notices& notices);
    ~LineInMixer() { Close(); }
    LineInMixer(const LineInMixer&) = delete;
    LineInMixer& operator=(const LineInMixer&) = delete;

    // Sets the control again on every call, even to the value it already has. A
    // refused set alerts "Couldn't set mixerControl!", once per request.
    void SetMuted(bool muted);
    void Unmute() { SetMuted(false); }
    // Closes the mixer; later requests do nothing.
    void Close();

    MixerBackend::Line line() const { return m_line; }
    MixerBackend::Control control() const { return m_control; }
    long mutedValue() const { return m_mutedValue; }
    long unmutedValue() const { return m_unmutedValue; }
    // The last request (true: muted), not what the mixer shows: a backend may still be
    // passing it on, and the user may have changed the control since.
    bool muted() const { return m_muted; }

private:
    std::unique_ptr<MixerBackend> m_backend;
    velkor::Notices& m_notices;
    MixerBackend::Line m_line = MixerBackend::Line::LineIn;
    MixerBackend::Control m_control = MixerBackend::Control::MuteSwitch;
    long m_mutedValue = 0;
    long m_unmutedValue = 0;
    bool m_muted = false;
};

} // namespace velkor
