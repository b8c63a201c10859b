// The sound card's mixer as LineInMixer needs it: find a source line, find one control
// on it, set that control. The ALSA backend is the real one; tests put a fake in its
// place to reach the fall-backs a given sound card does not have.
#pragma once

#include <stdexcept>

class MixerBackend {
public:
    enum class Line { LineIn, Microphone };
    enum class Control { MuteSwitch, Volume };

    virtual ~MixerBackend() = default;

    // Opens the mixer; throws MixerError when there is none.
    virtual void open() = 0;
    // Picks the source line; false when the mixer has no such line.
    virtual bool selectLine(Line line) = 0;
    // Picks the control of that kind on the selected line and reports the two values
    // that silence the line and give its sound back; false when there is no such
    // control.
    virtual bool selectControl(Control control, long* mutedValue, long* unmutedValue) = 0;
    // Sets the selected control; false when the mixer refused.
    virtual bool set(long value) = 0;
    virtual void close() = 0;
};

// The mixer, its line or its control cannot be had. what() is the text to show.
class MixerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
