// The mixer velkor mutes when none is named: on a desktop whose sound goes through a
// PulseAudio or PipeWire server, the server's playback of the decoded source
// (PulseMixerBackend); where no sound server runs, the "Line" or else "Mic" playback
// element of ALSA's default mixer. A server that is there but does not answer is not
// passed by for ALSA: ALSA's default would wait for that same server.
#pragma once

#include "mixer/MixerBackend.h"

#include <memory>

namespace velkor {

class DefaultMixerBackend : public MixerBackend {
public:
    DefaultMixerBackend();
    ~DefaultMixerBackend() override;

    velkor::Status open() override;
    bool selectLine(Line line) override { return m_chosen && m_chosen->selectLine(line); }
    bool selectControl(Control control, long* mutedValue, long* unmutedValue) override
    {
        return m_chosen && m_chosen->selectControl(control, mutedValue, unmutedValue);
    }
    bool set(long value) override { return m_chosen && m_chosen->set(value); }
    void close() override;
    std::string detail() const override { return m_chosen ? m_chosen->detail() : std::string(); }

private:
    std::unique_ptr<MixerBackend> m_chosen;
};

} // namespace velkor
