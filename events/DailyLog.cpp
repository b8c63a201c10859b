#include "events/DailyLog.h"

#include "events/EventTime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

namespace velkor {

namespace {

std::string addressText(const velkor_address_s& a)
{
    return std::to_string(a.fleet) + "/" + std::to_string(a.unit);
}

// "Fleet / Unit" of the levels below the system that have a name.
std::string partyName(const velkor_address_names_s& n)
{
    std::string out = n.fleet;
    if (!n.unit.empty())
        out += (out.empty() ? "" : " / ") + n.unit;
    return out;
}

std::string mhzText(double mhz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.5f", mhz);
    std::string s = text;
    // 420.01250 -> 420.0125, but never fewer than four places (420.0000 stays).
    while (s.size() > 1 && s.back() == '0' && s.size() - s.find('.') > 5)
        s.pop_back();
    return s;
}

std::string durationText(EventClock::duration d)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

} // namespace

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string callCsvHeader(bool withRecording)
{
    return std::string("start,end,duration,protocol,system,target,origin,system_name,target_name,origin_name,channel,"
                       "frequency,followed") +
        (withRecording ? ",recording\r\n" : "\r\n");
}

std::string callCsvRow(const call_record_s& c, bool withRecording)
{
    const char* protocol = protocolName(c.protocol);
    // Any two times the clock holds: a difference beyond its range is its largest.
    EventClock::rep span = 0;
    if (c.end > c.start &&
        __builtin_sub_overflow(c.end.time_since_epoch().count(), c.start.time_since_epoch().count(), &span))
        span = std::numeric_limits<EventClock::rep>::max();
    const EventClock::duration duration(span);
    std::string row;
    row += formatEventTime(c.start) + ',';
    row += formatEventTime(c.end) + ',';
    row += durationText(duration) + ',';
    row += std::string(protocol ? protocol : "") + ',';
    row += std::to_string(c.call.target.system) + ',';
    row += addressText(c.call.target) + ',';
    row += addressText(c.call.origin) + ',';
    row += csvField(c.names.target.system) + ',';
    row += csvField(partyName(c.names.target)) + ',';
    row += csvField(partyName(c.names.origin)) + ',';
    row += std::to_string(c.call.channel) + ',';
    row += (c.mhz ? mhzText(*c.mhz) : std::string()) + ',';
    row += c.followed ? "yes" : "no";
    if (withRecording)
        row += ',' + csvField(c.recording);
    return row + "\r\n";
}

DailyLog::DailyLog(std::string dir, velkor::Notices& notices, Clock clock)
    : m_dir(std::move(dir))
    , m_notices(notices)
    , m_clock(std::move(clock))
{
    m_calls.header = callCsvHeader();
    if (m_dir.empty())
        throw DailyLogError("no log directory given");
    std::error_code ec;
    std::filesystem::create_directories(m_dir, ec);
    if (ec)
        throw DailyLogError("cannot create the log directory " + m_dir + ": " + ec.message());
    // Both files now, so that a directory we cannot write to is found at start-up.
    const std::string date = localDate(m_clock());
    for (File* file : {&m_events, &m_calls})
        if (const velkor::Status opened = open(*file, date); !opened)
            throw DailyLogError(opened.error());
}

DailyLog::~DailyLog()
{
    for (File* file : {&m_events, &m_calls})
        if (file->fd >= 0)
            ::close(file->fd);
}

velkor::Status DailyLog::open(File& file, const std::string& date)
{
    if (file.fd >= 0 && file.date == date)
        return {};
    if (file.fd >= 0)
        ::close(file.fd);
    file.fd = -1;
    const std::string path = (std::filesystem::path(m_dir) / (file.prefix + date + file.suffix)).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return velkor::fail("cannot write " + path + ": " + std::strerror(errno));
    file.fd = fd;
    file.date = date;
    struct stat st { };
    file.oldHeader = false;
    if (!file.header.empty() && ::fstat(fd, &st) == 0 && st.st_size == 0) {
        write(file, file.header);
    } else if (&file == &m_calls) {
        // A day's file keeps the columns it was begun with.
        const std::string old = callCsvHeader(false);
        std::string first(old.size(), '\0');
        file.oldHeader =
            ::pread(fd, first.data(), first.size(), 0) == static_cast<ssize_t>(first.size()) && first == old;
    }
    return {};
}

void DailyLog::write(File& file, const std::string& line)
{
    // One write() for the line: with O_APPEND it lands whole at the end, or (out of
    // space, a signal) as a part of it that the next line's start makes recognisable.
    const ssize_t n = ::write(file.fd, line.data(), line.size());
    if (n == static_cast<ssize_t>(line.size())) {
        if (file.failing)
            m_notices.note("writing " + file.prefix + file.date + file.suffix + " works again");
        file.failing = false;
        return;
    }
    if (!file.failing)
        m_notices.note("ERROR writing the log file " + file.prefix + file.date + file.suffix + " in " + m_dir + ": " +
                       (n < 0 ? std::strerror(errno) : "the disk is full"));
    file.failing = true;
}

void DailyLog::event(const std::string& json)
{
    if (const velkor::Status opened = open(m_events, localDate(m_clock())); !opened) {
        if (!m_events.failing)
            m_notices.note("ERROR: " + opened.error());
        m_events.failing = true;
        return;
    }
    write(m_events, json + "\n");
}

void DailyLog::call(const call_record_s& call)
{
    if (const velkor::Status opened = open(m_calls, localDate(m_clock())); !opened) {
        if (!m_calls.failing)
            m_notices.note("ERROR: " + opened.error());
        m_calls.failing = true;
        return;
    }
    write(m_calls, callCsvRow(call, !m_calls.oldHeader));
}

void CallLog::report(const velkor_origin_s& origin, const velkor_call_s& call, const velkor_event_names_s& names,
                     std::optional<double> mhz, bool followed, uint64_t recordingId)
{
    m_last = std::max(m_last, origin.time);
    const std::pair<uint32_t, uint32_t> key{call.target.system, call.channel};
    auto it = m_open.find(key);
    if (it != m_open.end() && !(it->second.call.target == call.target && it->second.call.origin == call.origin))
        finish(it, origin.time);
    it = m_open.find(key);
    if (it == m_open.end()) {
        call_record_s record;
        record.start = origin.time;
        record.protocol = origin.protocol;
        record.call = call;
        it = m_open.emplace(key, record).first;
    }
    call_record_s& r = it->second;
    r.end = origin.time;
    r.names = names;
    if (mhz)
        r.mhz = mhz;
    r.followed = r.followed || followed;
    if (recordingId != 0)
        r.recordingId = recordingId;
}

void CallLog::clear(const velkor_origin_s& origin, const velkor_call_s& clear)
{
    m_last = std::max(m_last, origin.time);
    for (auto it = m_open.begin(); it != m_open.end();) {
        const auto next = std::next(it);
        if (it->first.second == clear.channel && (clear.target.system == 0 || it->first.first == clear.target.system))
            finish(it, origin.time);
        it = next;
    }
}

void CallLog::finishAll()
{
    while (!m_open.empty())
        finish(m_open.begin(), std::max(m_last, m_open.begin()->second.end));
}

void CallLog::finish(std::map<std::pair<uint32_t, uint32_t>, call_record_s>::iterator it, EventClock::time_point end)
{
    call_record_s record = it->second;
    m_open.erase(it);
    record.end = std::max(record.start, end);
    if (m_finished)
        m_finished(record);
}

} // namespace velkor
