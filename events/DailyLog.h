// The daily files: DIR/velkor-YYYY-MM-DD.jsonl, every event as its JSON object, and
// DIR/calls-YYYY-MM-DD.csv, one row per call (RFC 4180, a header row first), the date
// being the local date when the line is written, so the files turn at local midnight.
//
// Each line goes to its file with one write() on a descriptor opened with O_APPEND:
// a process that is killed leaves every line it completed whole, and at most the one
// being written is cut. A file that cannot be written is told as a note (once, until
// writing works again) and never stops the caller: the line is lost, the
// next one tries again.
//
// Calls are put together from the events by CallLog: a grant opens a call on its
// system's channel (a repeated grant of the same parties on it is the same call), the
// clear-down of that channel, another grant on it or the end of the run ends it.
#pragma once

#include "events/EventJson.h"
#include "notify/Notices.h"
#include "notify/Result.h"
#include "protocol/commands.h"

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace velkor {

class DailyLogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One call as a row of the calls file.
struct call_record_s {
    EventClock::time_point start{};
    EventClock::time_point end{};
    EventProtocol protocol = EventProtocol::None;
    velkor_call_s call;
    velkor_event_names_s names;
    std::optional<double> mhz; // the traffic channel's frequency, where its plan is known
    bool followed = false;     // the receiver was tuned to it
    uint64_t recordingId = 0;  // the recording of a followed call, while it is written
    std::string recording;     // its audio file, relative to the record folder; empty: none kept
};

// The header and a row of the calls file, each ending in CRLF as RFC 4180 has it. The
// last column, recording, came later: a file begun without it is written without it.
std::string callCsvHeader(bool withRecording = true);
std::string callCsvRow(const call_record_s& call, bool withRecording = true);
// A field quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);

class DailyLog {
public:
    using Clock = std::function<EventClock::time_point()>;

    // Creates dir when it is missing and opens today's files; throws DailyLogError
    // with the reason when they cannot be written. Trouble later on goes to notices.
    DailyLog(
        std::string dir, velkor::Notices& notices, Clock clock = [] { return EventClock::now(); });
    ~DailyLog();
    DailyLog(const DailyLog&) = delete;
    DailyLog& operator=(const DailyLog&) = delete;

    // One event's JSON (without a newline).
    void event(const std::string& json);
    void call(const call_record_s& call);

    const std::string& dir() const { return m_dir; }

private:
    struct File {
        std::string prefix; // "velkor-" or "calls-"
        std::string suffix; // ".jsonl" or ".csv"
        std::string header; // written into a new, empty file
        std::string date;
        int fd = -1;
        bool failing = false;
        bool oldHeader = false; // begun with the header that had no recording column
    };
    // Opens the file of today when the date has turned (or it is not open).
    velkor::Status open(File& file, const std::string& date);
    void write(File& file, const std::string& line);

    std::string m_dir;
    velkor::Notices& m_notices;
    Clock m_clock;
    File m_events{"velkor-", ".jsonl", {}, {}, -1, false};
    File m_calls{"calls-", ".csv", {}, {}, -1, false};
};

// Puts calls together from the events and hands each finished one on.
class CallLog {
public:
    using Finished = std::function<void(const call_record_s& call)>;
    explicit CallLog(Finished finished)
        : m_finished(std::move(finished))
    {
    }
    // Ends every open call at the time of the last event seen.
    ~CallLog() { finishAll(); }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    // A grant; mhz and followed as the tracker saw it. A repeat of an open call keeps
    // its start and adds what the repeat tells (followed, a frequency, names).
    void report(const velkor_origin_s& origin, const velkor_call_s& call, const velkor_event_names_s& names,
                std::optional<double> mhz, bool followed, uint64_t recordingId = 0);
    // A clear-down: ends the open call on that channel of that system (any system for
    // a clear-down without one).
    void clear(const velkor_origin_s& origin, const velkor_call_s& clear);
    void finishAll();

private:
    void finish(std::map<std::pair<uint32_t, uint32_t>, call_record_s>::iterator it, EventClock::time_point end);

    Finished m_finished;
    // By system and traffic channel.
    std::map<std::pair<uint32_t, uint32_t>, call_record_s> m_open;
    EventClock::time_point m_last{};
};

} // namespace velkor
