// Records the audio of each followed call from the capture stream the decoders read.
//
// The capture thread hands every block to feed(), which never waits for the disk: the
// block is copied into a bounded queue that a writer thread of ours empties (a full
// queue drops the block and counts it). begin() and end() go into the same queue, so
// that a call holds exactly the blocks fed between the two, whatever the disk does.
//
// Files: DIR/YYYY-MM-DD/HHMMSS-S-F-U.flac (local date and start time; the target's
// system, fleet and unit; -2, -3 ... before the extension when the name is taken) and
// beside it the call's JSON with the same stem. Each is written as NAME.part and
// renamed when complete, the audio first and the JSON last, so that a folder watcher
// that acts on the JSON finds the audio whole, and a killed process leaves only
// .part files of the call it was writing.
//
// A folder that cannot be written or a full disk costs that call only: one note, the
// call's .part removed, and the next call tries again. keep_days removes day folders
// older than that, at start-up and after each local midnight, and nothing else.
#pragma once

#include "notify/Notices.h"
#include "notify/Result.h"
#include "protocol/commands.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velkor {

class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class RecordFormat { Flac, Wav, Opus };

// "flac", "wav" or "opus"; a failure naming the choices for anything else.
velkor::Result<RecordFormat> parseRecordFormat(const std::string& name);
// Whether the format can be written at the capture rate. Opus is not resampled: at a
// rate its encoder does not take, it is refused with the reason.
velkor::Status checkRecordFormat(RecordFormat format, unsigned sampleRate);
const char* recordExtension(RecordFormat format);

struct record_options_s {
    std::string dir;
    RecordFormat format = RecordFormat::Flac;
    unsigned keepDays = 0;   // 0: keep everything
    double minSeconds = 1.0; // shorter calls are not kept
    // Samples the queue holds at most before blocks are dropped.
    size_t queueSamples = 48000 * 30;
};

struct record_party_s {
    velkor_address_s address;
    std::string name; // UTF-8, may be empty
};

// What is known of a followed call when the receiver has been tuned to it.
struct record_call_s {
    EventProtocol protocol = EventProtocol::None;
    record_party_s target;
    record_party_s origin;
    std::string systemName;
    uint32_t channel = 0;
    std::optional<double> freqHz;
    unsigned sampleRate = 0;
};

// Takeover: a call of higher priority took the receiver over.
enum class CallEnd { Cleardown, Squelch, EndCall, Input, Takeover };
const char* callEndName(CallEnd end);

// The outcome of one call, told on the writer thread.
struct record_result_s {
    uint64_t id = 0;
    bool kept = false;
    std::string audio; // relative to the record folder, e.g. "2026-12-09/142233-70-5-100.flac"
    std::string json;  // the JSON file's text (one line), when kept
};

// A call's JSON (one line) as the recorder writes it beside the audio: trunk-recorder's
// fields that mean the same here, then velkor's own; audioName is the audio file's name
// (empty: none kept).
std::string callJson(const record_call_s& call, std::chrono::system_clock::time_point start,
                     std::chrono::system_clock::time_point stop, double length, const std::string& audioName,
                     CallEnd ended);

class CallRecorder {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    using Finished = std::function<void(const record_result_s& result)>;

    // Creates the folder when it is missing and checks that it can be written; throws
    // RecordError with the reason when not. Prunes old day folders, then starts the
    // writer thread. finished is called on the writer thread for every call begun.
    CallRecorder(
        record_options_s options, velkor::Notices& notices, Finished finished = {},
        Clock clock = [] { return std::chrono::system_clock::now(); });
    // close().
    ~CallRecorder();
    CallRecorder(const CallRecorder&) = delete;
    CallRecorder& operator=(const CallRecorder&) = delete;

    // Capture thread: a block of mono samples. Kept only while a call is open.
    void feed(const int16_t* samples, size_t count);
    // Command side (one thread): a call begins now; its id for the result. A call
    // still open is ended first (as at the end of the input).
    uint64_t begin(const record_call_s& call);
    void end(CallEnd reason);
    // Replaces where the outcomes go; before the first begin().
    void setFinished(Finished finished) { m_finished = std::move(finished); }
    // The id of the open call, 0 when none.
    uint64_t openCall() const { return m_openId; }

    // Ends an open call as at the end of the input, writes everything queued and stops
    // the writer. Safe to call more than once.
    void close();

    // Blocks dropped from a full queue so far.
    uint64_t droppedBlocks() const { return m_dropped.load(std::memory_order_relaxed); }
    const record_options_s& options() const { return m_options; }

private:
    struct Item;
    struct Writing;

    void push(Item item);
    void writerThread();
    void handle(Item& item, std::optional<Writing>& writing);
    void startFile(Item& item, std::optional<Writing>& writing);
    void writeAudio(const std::vector<int16_t>& samples, std::optional<Writing>& writing);
    void finishFile(Item& item, std::optional<Writing>& writing);
    void fail(Writing& writing, const std::string& why);
    void prune();

    record_options_s m_options;
    velkor::Notices& m_notices;
    Finished m_finished;
    Clock m_clock;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Item> m_queue;
    size_t m_queuedSamples = 0;
    bool m_stopping = false;
    std::atomic<bool> m_recording{false};
    std::atomic<uint64_t> m_dropped{0};
    uint64_t m_openId = 0;
    uint64_t m_nextId = 1;
    std::string m_prunedDate;
    std::thread m_thread;
};

} // namespace velkor
