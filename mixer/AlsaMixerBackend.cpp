#include "mixer/AlsaMixerBackend.h"

#include <alsa/asoundlib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace velkor {

AlsaMixerBackend::AlsaMixerBackend(std::string device, std::string lineElement, std::string micElement,
                                   std::chrono::milliseconds answerWithin)
    : m_device(std::move(device))
    , m_lineElement(std::move(lineElement))
    , m_micElement(std::move(micElement))
    , m_answerWithin(answerWithin)
{
}

AlsaMixerBackend::~AlsaMixerBackend()
{
    close();
}

namespace {
// ALSA prints its own complaints to standard error while it looks for a card; the
// reason reaches the user through MixerError instead, once. Set for good: an attempt
// left behind (below) may still be inside ALSA at any later time.
void quiet(const char*, int, const char*, int, const char*, ...) { }

// One attempt to open a mixer, shared by the caller and the thread that makes it.
struct Attempt {
    std::mutex lock;
    std::condition_variable doneChanged;
    bool done = false;
    bool abandoned = false;
    snd_mixer_t* mixer = nullptr;
    std::string error;
};

std::string openMixer(const std::string& device, snd_mixer_t** out)
{
    snd_mixer_t* mixer = nullptr;
    int err = snd_mixer_open(&mixer, 0);
    if (err < 0)
        return std::string("Couldn't open the mixer: ") + snd_strerror(err);
    const char* step = nullptr;
    if ((err = snd_mixer_attach(mixer, device.c_str())) < 0)
        step = "attach";
    else if ((err = snd_mixer_selem_register(mixer, nullptr, nullptr)) < 0)
        step = "register";
    else if ((err = snd_mixer_load(mixer)) < 0)
        step = "load";
    if (step) {
        snd_mixer_close(mixer);
        return "Couldn't open mixer " + device + ": " + step + ": " + snd_strerror(err);
    }
    *out = mixer;
    return {};
}
} // namespace

velkor::Status AlsaMixerBackend::open()
{
    close();
    static std::once_flag quieted;
    std::call_once(quieted, [] { snd_lib_error_set_handler(quiet); });
    // A mixer that goes through a sound server (ALSA's pulse plugin, and the hook that
    // looks for a running PulseAudio while ALSA reads its configuration) waits for
    // that server without a time-out of its own, half a minute and more when it has
    // stopped. The attempt runs on a thread of its own; one that takes too long is
    // left to finish by itself and closes what it opened.
    auto attempt = std::make_shared<Attempt>();
    std::thread([attempt, device = m_device] {
        snd_mixer_t* mixer = nullptr;
        std::string error = openMixer(device, &mixer);
        std::lock_guard<std::mutex> hold(attempt->lock);
        if (attempt->abandoned) {
            if (mixer)
                snd_mixer_close(mixer);
            return;
        }
        attempt->mixer = mixer;
        attempt->error = std::move(error);
        attempt->done = true;
        attempt->doneChanged.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(attempt->lock);
    if (!attempt->doneChanged.wait_for(hold, m_answerWithin, [&] { return attempt->done; })) {
        attempt->abandoned = true;
        return velkor::fail("Couldn't open mixer " + m_device + ": no answer within " +
                            std::to_string(m_answerWithin.count()) + " ms (a sound server that has stopped?)");
    }
    if (!attempt->error.empty())
        return velkor::fail(attempt->error);
    m_mixer = attempt->mixer;
    return {};
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
    // Only the element's playback side: its capture side is what the decoders record.
    m_detail = "element " + std::string(snd_mixer_selem_get_name(m_elem)) + " of mixer " + m_device +
        " has no playback switch or volume; a capture control is the decoders' own input and is never muted";
    if (control == Control::MuteSwitch) {
        if (!snd_mixer_selem_has_playback_switch(m_elem))
            return false;
        m_kind = Kind::PlaybackSwitch;
        *mutedValue = 0;
        *unmutedValue = 1;
        return true;
    }
    long min = 0, max = 0;
    if (!snd_mixer_selem_has_playback_volume(m_elem) ||
        snd_mixer_selem_get_playback_volume_range(m_elem, &min, &max) < 0)
        return false;
    m_kind = Kind::PlaybackVolume;
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
    case Kind::PlaybackSwitch:
        err = snd_mixer_selem_set_playback_switch_all(m_elem, value ? 1 : 0);
        break;
    case Kind::PlaybackVolume:
        err = snd_mixer_selem_set_playback_volume_all(m_elem, value);
        break;
    case Kind::None:
        break;
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

} // namespace velkor
