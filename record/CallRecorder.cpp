#include "record/CallRecorder.h"

#include <nlohmann/json.hpp>
#include <sndfile.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace velkor {

namespace fs = std::filesystem;
using SystemClock = std::chrono::system_clock;

struct CallRecorder::Item {
    enum Kind { Begin, Audio, End } kind = Audio;
    std::vector<int16_t> samples;
    record_call_s call;
    uint64_t id = 0;
    CallEnd reason = CallEnd::Input;
    SystemClock::time_point time{};
};

// The call being written on the writer thread.
struct CallRecorder::Writing {
    uint64_t id = 0;
    record_call_s call;
    SystemClock::time_point start{};
    SNDFILE* file = nullptr;
    fs::path audio; // the final names; .part beside them while writing
    fs::path json;
    std::string relative;
    uint64_t frames = 0;
    bool failed = false;
};

namespace {

fs::path partOf(const fs::path& p)
{
    return fs::path(p.string() + ".part");
}

std::tm localTm(SystemClock::time_point t)
{
    const std::time_t secs = SystemClock::to_time_t(t);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return tm;
}

std::string formatTm(const std::tm& tm, const char* format)
{
    char text[64];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

std::string localDay(SystemClock::time_point t)
{
    return formatTm(localTm(t), "%Y-%m-%d");
}

// UTC, ISO 8601, milliseconds cut (as every event time of the program).
std::string isoUtc(SystemClock::time_point t)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char text[48];
    std::snprintf(text, sizeof text, "%s.%03lldZ", formatTm(tm, "%Y-%m-%dT%H:%M:%S").c_str(),
                  static_cast<long long>(((ms % 1000) + 1000) % 1000));
    return text;
}

int sndFormat(RecordFormat format)
{
    switch (format) {
    case RecordFormat::Wav:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case RecordFormat::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case RecordFormat::Flac:
        break;
    }
    return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
}

bool isDayFolder(const std::string& name)
{
    if (name.size() != 10)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? name[i] != '-' : !std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

nlohmann::ordered_json partyJson(const record_party_s& p)
{
    return {{"system", p.address.system}, {"fleet", p.address.fleet}, {"unit", p.address.unit}, {"name", p.name}};
}

} // namespace

std::string callJson(const record_call_s& c, SystemClock::time_point start, SystemClock::time_point stop, double length,
                     const std::string& audioName, CallEnd ended)
{
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const char* protocol = protocolName(c.protocol);
    nlohmann::ordered_json j;
    // The fields of trunk-recorder's call JSON that mean the same here.
    j["freq"] = c.freqHz ? static_cast<int64_t>(std::llround(*c.freqHz)) : 0;
    j["start_time"] = duration_cast<seconds>(start.time_since_epoch()).count();
    j["stop_time"] = duration_cast<seconds>(stop.time_since_epoch()).count();
    j["call_length"] = std::round(length * 1000.0) / 1000.0;
    j["talkgroup"] = c.target.address.unit;
    j["talkgroup_tag"] = c.target.name;
    j["audio_type"] = "analog";
    // And what only velkor knows.
    j["start"] = isoUtc(start);
    j["stop"] = isoUtc(stop);
    j["protocol"] = protocol ? nlohmann::ordered_json(protocol) : nlohmann::ordered_json(nullptr);
    j["system"] = c.target.address.system;
    j["target"] = partyJson(c.target);
    j["origin"] = partyJson(c.origin);
    j["channel"] = c.channel;
    j["ended"] = callEndName(ended);
    j["audio"] = audioName;
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

velkor::Result<RecordFormat> parseRecordFormat(const std::string& name)
{
    if (name == "flac")
        return RecordFormat::Flac;
    if (name == "wav")
        return RecordFormat::Wav;
    if (name == "opus")
        return RecordFormat::Opus;
    return velkor::fail("unknown recording format \"" + name + "\" (flac, wav or opus)");
}

velkor::Status checkRecordFormat(RecordFormat format, unsigned sampleRate)
{
    if (format == RecordFormat::Opus) {
        for (unsigned r : {8000u, 12000u, 16000u, 24000u, 48000u})
            if (r == sampleRate)
                return {};
        return velkor::fail("opus cannot record audio captured at " + std::to_string(sampleRate) +
                            " Hz (only 8000, 12000, 16000, 24000 or 48000 Hz): use flac or wav");
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = sndFormat(format);
    if (!sf_format_check(&info))
        return velkor::fail(std::string(recordExtension(format)) + " cannot record audio captured at " +
                            std::to_string(sampleRate) + " Hz");
    return {};
}

const char* recordExtension(RecordFormat format)
{
    switch (format) {
    case RecordFormat::Wav:
        return "wav";
    case RecordFormat::Opus:
        return "opus";
    case RecordFormat::Flac:
        break;
    }
    return "flac";
}

const char* callEndName(CallEnd end)
{
    switch (end) {
    case CallEnd::Cleardown:
        return "cleardown";
    case CallEnd::Squelch:
        return "squelch";
    case CallEnd::EndCall:
        return "endcall";
    case CallEnd::Takeover:
        return "takeover";
    case CallEnd::Input:
        break;
    }
    return "input";
}

CallRecorder::CallRecorder(record_options_s options, velkor::Notices& notices, Finished finished, Clock clock)
    : m_options(std::move(options))
    , m_notices(notices)
    , m_finished(std::move(finished))
    , m_clock(std::move(clock))
{
    if (m_options.dir.empty())
        throw RecordError("no record folder given");
    std::error_code ec;
    fs::create_directories(m_options.dir, ec);
    if (ec)
        throw RecordError("cannot create the record folder " + m_options.dir + ": " + ec.message());
    if (::access(m_options.dir.c_str(), W_OK | X_OK) != 0)
        throw RecordError("cannot write to the record folder " + m_options.dir + ": " + std::strerror(errno));
    prune();
    m_thread = std::thread([this] { writerThread(); });
}

CallRecorder::~CallRecorder()
{
    close();
}

void CallRecorder::push(Item item)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queuedSamples += item.samples.size();
        m_queue.push_back(std::move(item));
    }
    m_cv.notify_one();
}

void CallRecorder::feed(const int16_t* samples, size_t count)
{
    if (!m_recording.load(std::memory_order_acquire) || count == 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queuedSamples + count > m_options.queueSamples) {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    Item item;
    item.samples.assign(samples, samples + count);
    push(std::move(item));
}

uint64_t CallRecorder::begin(const record_call_s& call)
{
    if (m_openId != 0)
        end(CallEnd::Input);
    Item item;
    item.kind = Item::Begin;
    item.call = call;
    item.id = m_openId = m_nextId++;
    item.time = m_clock();
    push(std::move(item));
    m_recording.store(true, std::memory_order_release);
    return m_openId;
}

void CallRecorder::end(CallEnd reason)
{
    if (m_openId == 0)
        return;
    m_recording.store(false, std::memory_order_release);
    Item item;
    item.kind = Item::End;
    item.id = m_openId;
    item.reason = reason;
    item.time = m_clock();
    m_openId = 0;
    push(std::move(item));
}

void CallRecorder::close()
{
    if (!m_thread.joinable())
        return;
    end(CallEnd::Input);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_one();
    m_thread.join();
}

void CallRecorder::writerThread()
{
    std::optional<Writing> writing;
    for (;;) {
        std::unique_lock<std::mutex> lock(m_mutex);
        // Woken at least twice a minute to see whether a day has passed.
        m_cv.wait_for(lock, std::chrono::seconds(30), [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty()) {
            if (m_stopping)
                break;
            lock.unlock();
            if (localDay(m_clock()) != m_prunedDate)
                prune();
            continue;
        }
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedSamples -= item.samples.size();
        lock.unlock();
        handle(item, writing);
    }
    if (writing) {
        Item last;
        last.kind = Item::End;
        last.time = m_clock();
        finishFile(last, writing);
    }
}

void CallRecorder::handle(Item& item, std::optional<Writing>& writing)
{
    switch (item.kind) {
    case Item::Begin:
        if (writing)
            finishFile(item, writing);
        startFile(item, writing);
        break;
    case Item::Audio:
        writeAudio(item.samples, writing);
        break;
    case Item::End:
        if (writing && writing->id == item.id)
            finishFile(item, writing);
        break;
    }
}

void CallRecorder::startFile(Item& item, std::optional<Writing>& writing)
{
    writing.emplace();
    Writing& w = *writing;
    w.id = item.id;
    w.call = item.call;
    w.start = item.time;
    const std::tm tm = localTm(item.time);
    const std::string day = formatTm(tm, "%Y-%m-%d");
    const velkor_address_s& t = item.call.target.address;
    const std::string stem = formatTm(tm, "%H%M%S") + "-" + std::to_string(t.system) + "-" + std::to_string(t.fleet) +
        "-" + std::to_string(t.unit);
    const std::string ext = std::string(".") + recordExtension(m_options.format);
    const fs::path folder = fs::path(m_options.dir) / day;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return fail(w, "cannot create " + folder.string() + ": " + ec.message());
    std::string name = stem;
    for (int n = 2;; ++n) {
        w.audio = folder / (name + ext);
        w.json = folder / (name + ".json");
        if (!fs::exists(w.audio) && !fs::exists(partOf(w.audio)) && !fs::exists(w.json) && !fs::exists(partOf(w.json)))
            break;
        name = stem + "-" + std::to_string(n);
    }
    w.relative = day + "/" + name + ext;
    SF_INFO info{};
    info.samplerate = static_cast<int>(item.call.sampleRate);
    info.channels = 1;
    info.format = sndFormat(m_options.format);
    if (const velkor::Status usable = checkRecordFormat(m_options.format, item.call.sampleRate); !usable)
        return fail(w, usable.error());
    w.file = sf_open(partOf(w.audio).c_str(), SFM_WRITE, &info);
    if (!w.file)
        return fail(w, "cannot write " + partOf(w.audio).string() + ": " + sf_strerror(nullptr));
}

void CallRecorder::writeAudio(const std::vector<int16_t>& samples, std::optional<Writing>& writing)
{
    if (!writing || writing->failed || !writing->file)
        return;
    const sf_count_t n = sf_write_short(writing->file, samples.data(), static_cast<sf_count_t>(samples.size()));
    writing->frames += static_cast<uint64_t>(std::max<sf_count_t>(n, 0));
    if (n != static_cast<sf_count_t>(samples.size()))
        fail(*writing, "cannot write " + partOf(writing->audio).string() + ": " + sf_strerror(writing->file));
}

void CallRecorder::fail(Writing& w, const std::string& why)
{
    if (w.failed)
        return;
    w.failed = true;
    m_notices.note("Recording of the call dropped: " + why);
    if (w.file)
        sf_close(w.file);
    w.file = nullptr;
    std::error_code ec;
    if (!w.audio.empty())
        fs::remove(partOf(w.audio), ec);
}

void CallRecorder::finishFile(Item& item, std::optional<Writing>& writing)
{
    Writing& w = *writing;
    record_result_s result;
    result.id = w.id;
    const double rate = w.call.sampleRate ? w.call.sampleRate : 1;
    const double seconds = static_cast<double>(w.frames) / rate;
    std::error_code ec;
    if (!w.failed && w.file) {
        const int closed = sf_close(w.file);
        w.file = nullptr;
        if (closed != 0)
            fail(w, "cannot write " + partOf(w.audio).string() + ": " + sf_error_number(closed));
        else if (seconds < m_options.minSeconds)
            fs::remove(partOf(w.audio), ec);
        else
            result.kept = true;
    }
    if (result.kept) {
        const auto stop =
            w.start + std::chrono::duration_cast<SystemClock::duration>(std::chrono::duration<double>(seconds));
        const std::string json = callJson(w.call, w.start, stop, seconds, w.audio.filename().string(), item.reason);
        fs::rename(partOf(w.audio), w.audio, ec);
        if (ec) {
            fail(w, "cannot rename " + partOf(w.audio).string() + ": " + ec.message());
            result.kept = false;
        } else {
            std::ofstream out(partOf(w.json), std::ios::binary | std::ios::trunc);
            out << json << '\n';
            out.close();
            if (out.fail() || (fs::rename(partOf(w.json), w.json, ec), ec)) {
                // Without its JSON the audio would look like a call nobody described.
                m_notices.note("Recording of the call dropped: cannot write " + partOf(w.json).string());
                fs::remove(partOf(w.json), ec);
                fs::remove(w.audio, ec);
                result.kept = false;
            } else {
                result.audio = w.relative;
                result.json = json;
            }
        }
    }
    writing.reset();
    if (m_finished)
        m_finished(result);
}

void CallRecorder::prune()
{
    const auto now = m_clock();
    m_prunedDate = localDay(now);
    if (m_options.keepDays == 0)
        return;
    const std::string oldest = localDay(now - std::chrono::hours(24) * m_options.keepDays);
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(m_options.dir, ec)) {
        const std::string name = e.path().filename().string();
        if (!isDayFolder(name) || name >= oldest || !e.is_directory(ec))
            continue;
        fs::remove_all(e.path(), ec);
        if (ec)
            m_notices.note("Cannot remove the old recordings in " + e.path().string() + ": " + ec.message());
    }
}

} // namespace velkor
