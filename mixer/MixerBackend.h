// The sound card's mixer as LineInMixer needs it: find a source line, find one control
// on it, set that control. The real ones are the ALSA mixer of a sound card and the
// playback of the capture source on a PulseAudio or PipeWire server; tests put a fake
// in their place to reach the fall-backs a given sound card does not have.
//
// "Line" here is always a path from the input to the speakers, never the input that
// is being recorded: muting that would silence the decoders themselves.
#pragma once

#include "notify/Result.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace velkor {

class MixerBackend {
public:
    enum class Line { LineIn, Microphone };
    enum class Control { MuteSwitch, Volume };

    virtual ~MixerBackend() = default;

    // Opens the mixer; a failure when there is none.
    virtual velkor::Status open() = 0;
    // Picks the source line; false when the mixer has no such line.
    virtual bool selectLine(Line line) = 0;
    // Picks the control of that kind on the selected line and reports the two values
    // that silence the line and give its sound back; false when there is no such
    // control.
    virtual bool selectControl(Control control, long* mutedValue, long* unmutedValue) = 0;
    // Sets the selected control; false when the mixer refused.
    virtual bool set(long value) = 0;
    virtual void close() = 0;
    // Why the last selectLine() or selectControl() found nothing, in words for the
    // user; empty when there is nothing to add to the fixed text.
    virtual std::string detail() const { return {}; }
};

// Thrown by LineInMixer's constructor when the mixer, its line or its control cannot be
// had. what() is the text to show; detail() says more where the backend knows more.
class MixerError : public std::runtime_error {
public:
    explicit MixerError(const std::string& text, std::string detail = {})
        : std::runtime_error(text)
        , m_detail(std::move(detail))
    {
    }
    const std::string& detail() const { return m_detail; }

private:
    std::string m_detail;
};

} // namespace velkor
