#include "mixer/LineInMixer.h"

namespace velkor {

LineInMixer::LineInMixer(std::unique_ptr<MixerBackend> backend, velkor::Notices& notices)
    : m_backend(std::move(backend))
    , m_notices(notices)
{
    if (!m_backend)
        throw MixerError("no mixer");
    if (const velkor::Status opened = m_backend->open(); !opened)
        throw MixerError(opened.error());
    try {
        if (!m_backend->selectLine(MixerBackend::Line::LineIn)) {
            m_line = MixerBackend::Line::Microphone;
            if (!m_backend->selectLine(m_line))
                throw MixerError("Couldn't get Line-In mixerComponent!", m_backend->detail());
        }
        if (!m_backend->selectControl(MixerBackend::Control::MuteSwitch, &m_mutedValue, &m_unmutedValue)) {
            m_control = MixerBackend::Control::Volume;
            if (!m_backend->selectControl(m_control, &m_mutedValue, &m_unmutedValue))
                throw MixerError("Couldn't get Volume mixerControl!", m_backend->detail());
        }
    } catch (...) {
        m_backend->close();
        throw;
    }
}

void LineInMixer::SetMuted(bool muted)
{
    if (!m_backend)
        return;
    m_muted = muted;
    if (!m_backend->set(muted ? m_mutedValue : m_unmutedValue))
        m_notices.alert("Couldn't set mixerControl!");
}

void LineInMixer::Close()
{
    if (m_backend) {
        m_backend->close();
        m_backend.reset();
    }
}

} // namespace velkor
