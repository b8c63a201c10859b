#include "mixer/AlsaMixerBackend.h"

#include <alsa/asoundlib.h>

AlsaMixerBackend::AlsaMixerBackend(std::string device, std::string lineElement, std::string micElement)
    : m_device(std::move(device)), m_lineElement(std::move(lineElement)), m_micElement(std::move(micElement))
{
}

AlsaMixerBackend::~AlsaMixerBackend()
{
    close();
}

namespace {
// ALSA prints its own complaints to standard error while it looks for a card; the
// reason reaches the user through MixerError instead, once.
void quiet(const char*, int, const char*, int, const char*, ...) {}

struct QuietAlsa {
    QuietAlsa() { snd_lib_error_set_handler(quiet); }
    ~QuietAlsa() { snd_lib_error_set_handler(nullptr); }
};
} // namespace

void AlsaMixerBackend::open()
{
    close();
    QuietAlsa quietWhileOpening;
    snd_mixer_t* mixer = nullptr;
    int err = snd_mixer_open(&mixer, 0);
    if (err < 0)
        throw MixerError(std::string("Couldn't open the mixer: ") + snd_strerror(err));
    auto fail = [&](const char* step) {
        snd_mixer_close(mixer);
        throw MixerError("Couldn't open mixer " + m_device + ": " + step + ": " + snd_strerror(err));
    };
    if ((err = snd_mixer_attach(mixer, m_device.c_str())) < 0)
        fail("attach");
    if ((err = snd_mixer_selem_register(mixer, nullptr, nullptr)) < 0)
        fail("register");
    if ((err = snd_mixer_load(mixer)) < 0)
        fail("load");
    m_mixer = mixer;
}

bool AlsaMixerBackend::selectLine(Line line)
{
    m_elem = nullptr;
    m_kind = Kind::None;
    if (!m_mixer)
        return false;
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, (line == Line::LineIn ? m_lineElement : m_micElement).c_str());
    m_elem = snd_mixer_find_selem(m_mixer, id);
    return m_elem != nullptr;
}

bool AlsaMixerBackend::selectControl(Control control, long* mutedValue, long* unmutedValue)
{
    if (!m_elem)
        return false;
    if (control == Control::MuteSwitch) {
        if (snd_mixer_selem_has_playback_switch(m_elem))
            m_kind = Kind::PlaybackSwitch;
        else if (snd_mixer_selem_has_capture_switch(m_elem))
            m_kind = Kind::CaptureSwitch;
        else
            return false;
        *mutedValue = 0;
        *unmutedValue = 1;
        return true;
    }
    long min = 0, max = 0;
    if (snd_mixer_selem_has_playback_volume(m_elem)) {
        if (snd_mixer_selem_get_playback_volume_range(m_elem, &min, &max) < 0)
            return false;
        m_kind = Kind::PlaybackVolume;
    } else if (snd_mixer_selem_has_capture_volume(m_elem)) {
        if (snd_mixer_selem_get_capture_volume_range(m_elem, &min, &max) < 0)
            return false;
        m_kind = Kind::CaptureVolume;
    } else {
        return false;
    }
    *mutedValue = min;
    *unmutedValue = max;
    return true;
}

bool AlsaMixerBackend::set(long value)
{
    if (!m_elem)
        return false;
    int err = -EINVAL;
    switch (m_kind) {
    case Kind::PlaybackSwitch: err = snd_mixer_selem_set_playback_switch_all(m_elem, value ? 1 : 0); break;
    case Kind::CaptureSwitch: err = snd_mixer_selem_set_capture_switch_all(m_elem, value ? 1 : 0); break;
    case Kind::PlaybackVolume: err = snd_mixer_selem_set_playback_volume_all(m_elem, value); break;
    case Kind::CaptureVolume: err = snd_mixer_selem_set_capture_volume_all(m_elem, value); break;
    case Kind::None: break;
    }
    return err >= 0;
}

void AlsaMixerBackend::close()
{
    m_elem = nullptr;
    m_kind = Kind::None;
    if (m_mixer) {
        snd_mixer_close(m_mixer);
        m_mixer = nullptr;
    }
}
