#include "mixer/DefaultMixerBackend.h"

#include "mixer/AlsaMixerBackend.h"
#include "mixer/PulseMixerBackend.h"

namespace velkor {

DefaultMixerBackend::DefaultMixerBackend() = default;

DefaultMixerBackend::~DefaultMixerBackend()
{
    close();
}

velkor::Status DefaultMixerBackend::open()
{
    close();
    auto pulse = std::make_unique<PulseMixerBackend>();
    const velkor::Result<PulseMixerBackend::Reached> reached = pulse->reach();
    if (!reached)
        return velkor::fail(reached.error());
    if (!reached->absent) {
        m_chosen = std::move(pulse);
        return {};
    }
    auto alsa = std::make_unique<AlsaMixerBackend>();
    if (velkor::Status opened = alsa->open(); !opened)
        return opened;
    m_chosen = std::move(alsa);
    return {};
}

void DefaultMixerBackend::close()
{
    if (m_chosen)
        m_chosen->close();
    m_chosen.reset();
}

} // namespace velkor
