#include "mixer/DefaultMixerBackend.h"

#include "mixer/AlsaMixerBackend.h"
#include "mixer/PulseMixerBackend.h"

DefaultMixerBackend::DefaultMixerBackend() = default;

DefaultMixerBackend::~DefaultMixerBackend()
{
    close();
}

void DefaultMixerBackend::open()
{
    close();
    std::unique_ptr<MixerBackend> backend = std::make_unique<PulseMixerBackend>();
    try {
        backend->open();
    } catch (const SoundServerAbsent&) {
        backend = std::make_unique<AlsaMixerBackend>();
        backend->open();
    }
    m_chosen = std::move(backend);
}

void DefaultMixerBackend::close()
{
    if (m_chosen)
        m_chosen->close();
    m_chosen.reset();
}
