#include "mixer/PulseMixerBackend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include <unistd.h>

namespace velkor {

namespace {

struct Stream {
    uint32_t index, device, ownerModule, client;
    bool ours;
};

struct Source {
    uint32_t index;
    std::string name;
};

// Whether a stream was made by this process: libpulse tells the server every client's
// process id and host.
bool fromThisProcess(const pa_proplist* props)
{
    const char* pid = pa_proplist_gets(props, PA_PROP_APPLICATION_PROCESS_ID);
    if (!pid || std::to_string(::getpid()) != pid)
        return false;
    const char* host = pa_proplist_gets(props, PA_PROP_APPLICATION_PROCESS_HOST);
    char name[256] = {};
    return !host || (::gethostname(name, sizeof name - 1) == 0 && std::strcmp(host, name) == 0);
}

} // namespace

// Lives on after the backend only as long as the backend does; every field below the
// main loop is touched with the main loop's lock held (its callbacks hold it).
struct PulseMixerBackend::State {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool timedOut = false;

    // One round: the server's default source, the sources, the source outputs and the
    // sink inputs, then the mute of what plays the decoded source.
    bool roundRunning = false;
    bool roundAgain = false;
    int listsPending = 0;
    int mutesPending = 0;
    int wanted = -1; // -1: only look; else the mute to set
    std::string defaultSource;
    std::vector<Source> sources, sourcesNext;
    std::vector<Stream> outputs, outputsNext, inputs, inputsNext;
    std::vector<uint32_t> found; // the sink inputs of the last round
    std::string decodedSource;   // and the source they play

    void signal() { pa_threaded_mainloop_signal(loop, 0); }

    // Waits with the lock held until done() holds or the time is up.
    template <class Done> bool waitFor(Done done, std::chrono::milliseconds within)
    {
        timedOut = false;
        pa_time_event* timer = pa_context_rttime_new(
            context, pa_rtclock_now() + static_cast<pa_usec_t>(within.count()) * 1000,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
                static_cast<State*>(self)->timedOut = true;
                static_cast<State*>(self)->signal();
            },
            this);
        while (!done() && !timedOut)
            pa_threaded_mainloop_wait(loop);
        if (timer)
            pa_threaded_mainloop_get_api(loop)->time_free(timer);
        return done();
    }

    bool ready() const { return context && pa_context_get_state(context) == PA_CONTEXT_READY; }

    void startRound()
    {
        if (roundRunning) {
            roundAgain = true;
            return;
        }
        roundRunning = true;
        roundAgain = false;
        listsPending = 4;
        sourcesNext.clear();
        outputsNext.clear();
        inputsNext.clear();
        auto keep = [this](pa_operation* op) {
            if (op)
                pa_operation_unref(op);
            else
                listDone();
        };
        keep(pa_context_get_server_info(
            context,
            [](pa_context*, const pa_server_info* info, void* self) {
                auto* s = static_cast<State*>(self);
                s->defaultSource = info && info->default_source_name ? info->default_source_name : "";
                s->listDone();
            },
            this));
        keep(pa_context_get_source_info_list(
            context,
            [](pa_context*, const pa_source_info* info, int eol, void* self) {
                auto* s = static_cast<State*>(self);
                if (eol)
                    return s->listDone();
                s->sourcesNext.push_back({info->index, info->name ? info->name : ""});
            },
            this));
        keep(pa_context_get_source_output_info_list(
            context,
            [](pa_context*, const pa_source_output_info* info, int eol, void* self) {
                auto* s = static_cast<State*>(self);
                if (eol)
                    return s->listDone();
                s->outputsNext.push_back(
                    {info->index, info->source, info->owner_module, info->client, fromThisProcess(info->proplist)});
            },
            this));
        keep(pa_context_get_sink_input_info_list(
            context,
            [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
                auto* s = static_cast<State*>(self);
                if (eol)
                    return s->listDone();
                s->inputsNext.push_back(
                    {info->index, info->sink, info->owner_module, info->client, fromThisProcess(info->proplist)});
            },
            this));
    }

    void listDone()
    {
        if (--listsPending > 0)
            return;
        sources.swap(sourcesNext);
        outputs.swap(outputsNext);
        inputs.swap(inputsNext);
        findPlayback();
        mutesPending = 1;
        if (wanted >= 0 && ready())
            for (uint32_t index : found) {
                pa_operation* op = pa_context_set_sink_input_mute(
                    context, index, wanted, [](pa_context*, int, void* self) { static_cast<State*>(self)->muteDone(); },
                    this);
                if (op) {
                    ++mutesPending;
                    pa_operation_unref(op);
                }
            }
        muteDone();
    }

    void muteDone()
    {
        if (--mutesPending > 0)
            return;
        roundRunning = false;
        if (roundAgain && ready())
            startRound();
        signal();
    }

    // The decoded source: the one our own capture stream records, else the default.
    // What plays it: the sink inputs of the module (a loopback) or the client that
    // records it.
    void findPlayback()
    {
        found.clear();
        std::set<uint32_t> decoded;
        for (const Stream& o : outputs)
            if (o.ours)
                decoded.insert(o.device);
        if (decoded.empty())
            for (const Source& s : sources)
                if (s.name == defaultSource)
                    decoded.insert(s.index);
        decodedSource.clear();
        for (const Source& s : sources)
            if (decoded.count(s.index))
                decodedSource += (decodedSource.empty() ? "" : ", ") + s.name;
        for (const Stream& o : outputs) {
            if (o.ours || !decoded.count(o.device))
                continue;
            for (const Stream& i : inputs) {
                const bool sameOwner = o.ownerModule != PA_INVALID_INDEX
                    ? i.ownerModule == o.ownerModule
                    : o.client != PA_INVALID_INDEX && i.client == o.client;
                if (sameOwner && !i.ours && std::find(found.begin(), found.end(), i.index) == found.end())
                    found.push_back(i.index);
            }
        }
    }
};

PulseMixerBackend::PulseMixerBackend(std::chrono::milliseconds answerWithin, std::string server)
    : m_answerWithin(answerWithin)
    , m_server(std::move(server))
{
}

PulseMixerBackend::~PulseMixerBackend()
{
    close();
}

velkor::Status PulseMixerBackend::open()
{
    const velkor::Result<Reached> reached = reach();
    if (!reached)
        return velkor::fail(reached.error());
    if (reached->absent)
        return velkor::fail(reached->reason);
    return {};
}

velkor::Result<PulseMixerBackend::Reached> PulseMixerBackend::reach()
{
    close();
    auto state = std::make_unique<State>();
    state->loop = pa_threaded_mainloop_new();
    if (!state->loop || pa_threaded_mainloop_start(state->loop) < 0) {
        if (state->loop)
            pa_threaded_mainloop_free(state->loop);
        return velkor::fail("Couldn't start the sound server's client");
    }
    m_state = std::move(state);
    State& s = *m_state;
    pa_threaded_mainloop_lock(s.loop);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "velkor Line-In muting");
    s.context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(s.loop), "velkor Line-In muting", props);
    pa_proplist_free(props);
    std::string why;
    bool absent = false;
    if (s.context) {
        pa_context_set_state_callback(
            s.context, [](pa_context*, void* self) { static_cast<State*>(self)->signal(); }, &s);
        if (pa_context_connect(s.context, m_server.empty() ? nullptr : m_server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr) < 0) {
            absent = true;
            why = pa_strerror(pa_context_errno(s.context));
        } else {
            auto settled = [&s] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(s.context)) || s.ready(); };
            if (!s.waitFor(settled, m_answerWithin)) {
                why = "the sound server does not answer";
            } else if (!s.ready()) {
                absent = true;
                why = pa_strerror(pa_context_errno(s.context));
            }
        }
    } else {
        why = "Couldn't start the sound server's client";
    }
    pa_threaded_mainloop_unlock(s.loop);
    if (!why.empty()) {
        close();
        if (absent)
            return Reached{true, "Couldn't reach the sound server: " + why};
        return velkor::fail("Couldn't reach the sound server: " + why);
    }
    return Reached{};
}

bool PulseMixerBackend::selectLine(Line line)
{
    // The microphone is a source like the one decoded; there is nothing else to try.
    if (!m_state || line != Line::LineIn)
        return false;
    m_detail.clear();
    State& s = *m_state;
    pa_threaded_mainloop_lock(s.loop);
    bool answered = false;
    if (s.ready()) {
        s.wanted = -1;
        s.startRound();
        answered = s.waitFor([&s] { return !s.roundRunning; }, m_answerWithin);
    }
    const bool found = answered && !s.found.empty();
    if (!answered)
        m_detail = "the sound server does not answer";
    else if (!found)
        m_detail = "nothing on the sound server plays " +
            (s.decodedSource.empty() ? std::string("the decoded source") : "source " + s.decodedSource) +
            " to a sink; the source itself is never muted";
    pa_threaded_mainloop_unlock(s.loop);
    return found;
}

bool PulseMixerBackend::selectControl(Control control, long* mutedValue, long* unmutedValue)
{
    if (!m_state || control != Control::MuteSwitch)
        return false;
    *mutedValue = 1;
    *unmutedValue = 0;
    return true;
}

bool PulseMixerBackend::set(long value)
{
    if (!m_state)
        return false;
    State& s = *m_state;
    pa_threaded_mainloop_lock(s.loop);
    const bool ok = s.ready();
    if (ok) {
        s.wanted = value != 0 ? 1 : 0;
        s.startRound();
    }
    pa_threaded_mainloop_unlock(s.loop);
    return ok;
}

void PulseMixerBackend::close()
{
    if (!m_state)
        return;
    State& s = *m_state;
    if (s.context) {
        pa_threaded_mainloop_lock(s.loop);
        // The last request (the unmute at the end) should reach the server; a server
        // that does not answer gets no more than the time-out.
        if (s.ready() && (s.roundRunning || s.roundAgain))
            s.waitFor([&s] { return !s.roundRunning; }, m_answerWithin);
        pa_context_set_state_callback(s.context, nullptr, nullptr);
        pa_context_disconnect(s.context);
        pa_context_unref(s.context);
        s.context = nullptr;
        pa_threaded_mainloop_unlock(s.loop);
    }
    // The loop's thread only ever waits in poll(), so it always stops at once.
    pa_threaded_mainloop_stop(s.loop);
    pa_threaded_mainloop_free(s.loop);
    m_state.reset();
}

} // namespace velkor
