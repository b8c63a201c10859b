#include "receiver/RigctlReceiver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velkor {

namespace {

// Hamlib's own error codes (rigctld answers "RPRT -n") for a function the radio or its
// backend does not have. gqrx and SDR++ answer "RPRT 1" to every command they do not
// know, and no other positive code.
constexpr int kNotImplemented = -4;
constexpr int kNotAvailable = -11;
constexpr int kUnknownCommand = 1;

// The code of a "RPRT n" line.
bool rprtCode(const std::string& line, int* code)
{
    if (line.rfind("RPRT ", 0) != 0 || line.size() > 16)
        return false;
    const char* digits = line.c_str() + 5;
    char* end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    if (end == digits || *end != '\0')
        return false;
    *code = static_cast<int>(n);
    return true;
}

bool parseNumber(const std::string& line, double* value)
{
    const char* text = line.c_str();
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    // gqrx reports the strength of no signal at all as -inf.
    if (*end != '\0' || std::isnan(v))
        return false;
    *value = v;
    return true;
}

// A reply as the log shows it: short, and every byte visible.
std::string shown(const std::string& reply)
{
    std::string out = "\"";
    for (size_t i = 0; i < reply.size() && i < 40; ++i) {
        const auto c = static_cast<unsigned char>(reply[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (reply.size() > 40)
        out += "...";
    return out + "\"";
}

std::string mhzText(double hz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f MHz", hz / 1e6);
    return text;
}

} // namespace

namespace {

rigctl_server_s serverOrThrow(const std::string& text)
{
    auto server = parseRigctlServer(text);
    if (!server)
        throw RigctlServerError(server.error());
    return std::move(*server);
}

} // namespace

RigctlReceiver::RigctlReceiver(const std::string& server, velkor::Notices& notices, unsigned timeoutMs)
    : m_link(serverOrThrow(server))
    , m_timeoutMs(timeoutMs)
    , m_notices(notices)
{
}

RigctlReceiver::Deadline RigctlReceiver::deadline() const
{
    return RigctlClock::now() + std::chrono::milliseconds(m_timeoutMs);
}

void RigctlReceiver::log(const std::string& line) const
{
    if (!m_quiet)
        m_notices.note(line);
}

void RigctlReceiver::note(const std::string& text)
{
    if (m_noted.insert(text).second)
        log("Hamlib rigctl server " + server() + " " + text);
}

int RigctlReceiver::succeed()
{
    if (!m_lastLogged.empty())
        log("Hamlib rigctl server " + server() + " answers again.");
    m_lastLogged.clear();
    m_failure.clear();
    return 1;
}

int RigctlReceiver::fail(const std::string& reason)
{
    m_failure = reason;
    // A server that stays down must not fill the log: the same reason is said once
    // until an operation succeeds again.
    std::string kind = reason;
    if (const auto colon = reason.find("\": "); reason.front() == '"' && colon != std::string::npos)
        kind = reason.substr(colon + 3);
    if (kind != m_lastLogged)
        log("Hamlib rigctl server " + server() + ": " + reason);
    m_lastLogged = kind;
    return 0;
}

void RigctlReceiver::forgetServer()
{
    m_squelch = Squelch::Unknown;
    m_narrowMode = Optional::Unknown;
    m_scan = Optional::Unknown;
    m_backlight = Optional::Unknown;
}

bool RigctlReceiver::ready(Deadline d)
{
    if (m_link.isOpen())
        m_link.discardPending(); // a server that went away is connected again below
    if (m_link.isOpen())
        return true;
    if (const velkor::Status opened = m_link.open(d); !opened) {
        fail(opened.error());
        return false;
    }
    // It may be another program on the same port by now.
    forgetServer();
    return true;
}

bool RigctlReceiver::ask(const std::string& cmd, std::string* reply, Deadline d)
{
    for (int attempt = 0;; ++attempt) {
        if (!ready(d))
            return false;
        velkor::Result<std::string> line = velkor::fail("");
        if (const velkor::Status sent = m_link.sendLine(cmd, d); !sent)
            line = velkor::fail(sent.error());
        else
            line = m_link.readLine(d);
        if (line) {
            *reply = std::move(*line);
            return true;
        }
        std::string why = line.error();
        // A connection the server dropped before answering (a restart; rigctld letting
        // go of its last client as another comes) is made again once, within the same
        // time-out: every command here may be sent twice.
        if (attempt == 0 && m_link.dropped() && RigctlClock::now() < d)
            continue;
        if (why == "no reply within the time-out")
            why = "no reply within " + std::to_string(m_timeoutMs) + " ms";
        fail("\"" + cmd + "\": " + why);
        return false;
    }
}

bool RigctlReceiver::command(const std::string& cmd, int* code, Deadline d)
{
    std::string reply;
    if (!ask(cmd, &reply, d))
        return false;
    if (rprtCode(reply, code))
        return true;
    // Out of step with the server: start afresh at the next operation.
    m_link.close();
    fail("\"" + cmd + "\": unexpected reply " + shown(reply));
    return false;
}

bool RigctlReceiver::number(const std::string& cmd, double* value, int* code, Deadline d)
{
    std::string reply;
    if (!ask(cmd, &reply, d))
        return false;
    // "RPRT 0" is no answer to a question.
    if (rprtCode(reply, code) && *code != 0)
        return true;
    if (parseNumber(reply, value)) {
        *code = 0;
        return true;
    }
    m_link.close();
    fail("\"" + cmd + "\": unexpected reply " + shown(reply));
    return false;
}

int RigctlReceiver::optional(Optional* support, const std::string& cmd, const std::string& missing, Deadline d)
{
    if (*support == Optional::No)
        return succeed();
    int code = 0;
    if (!command(cmd, &code, d))
        return 0;
    if (code == 0) {
        *support = Optional::Yes;
    } else {
        *support = Optional::No;
        note("answers \"" + cmd + "\" with RPRT " + std::to_string(code) + ": " + missing);
    }
    return succeed();
}

int RigctlReceiver::initialize()
{
    const Deadline d = deadline();
    double hz = 0;
    int code = 0;
    // The program logs why the server could not be reached, so the receiver does not;
    // it only keeps from saying the same again.
    m_quiet = true;
    if (number("f", &hz, &code, d) && code != 0)
        fail("\"f\" answered RPRT " + std::to_string(code));
    m_quiet = false;
    if (m_failure.empty())
        m_lastLogged.clear();
    return 1;
}

int RigctlReceiver::setFrequency(double mhz, int narrow)
{
    if (!std::isfinite(mhz) || mhz > 1e7)
        return fail("no frequency to tune to (" + std::to_string(mhz) + " MHz)");
    if (mhz <= 0.0)
        return succeed();
    const Deadline d = deadline();
    const long long hz = std::llround(mhz * 1e6);
    const std::string tune = "F " + std::to_string(hz);
    int code = 0;
    if (!command(tune, &code, d))
        return 0;
    if (code != 0)
        return fail("\"" + tune + "\" answered RPRT " + std::to_string(code));
    if (narrow && !optional(&m_narrowMode, "M FM 12500", "the mode is left as it is.", d))
        return 0;
    double got = 0;
    if (!number("f", &got, &code, d))
        return 0;
    if (code != 0)
        return fail("\"f\" answered RPRT " + std::to_string(code) + ": the tuning cannot be confirmed");
    if (!(std::fabs(got - static_cast<double>(hz)) <= kTuneToleranceHz))
        return fail("stayed on " + mhzText(got) + " after \"" + tune +
                    "\" (is tuning by remote control enabled in the server?)");
    return succeed();
}

double RigctlReceiver::getFrequency()
{
    double hz = 0;
    int code = 0;
    if (!number("f", &hz, &code, deadline()))
        return 0.0;
    if (code != 0) {
        fail("\"f\" answered RPRT " + std::to_string(code));
        return 0.0;
    }
    if (!std::isfinite(hz) || hz < 0) {
        fail("\"f\": no frequency in the reply");
        return 0.0;
    }
    succeed();
    return hz / 1e6;
}

int RigctlReceiver::isSquelchOpen()
{
    const Deadline d = deadline();
    if (!ready(d))
        return 0;
    if (m_squelch == Squelch::Open)
        return succeed();
    double value = 0;
    int code = 0;
    if (m_squelch != Squelch::Levels) {
        if (!number("\\get_dcd", &value, &code, d))
            return 0;
        if (code == 0) {
            if (value != 0.0 && value != 1.0)
                return fail("\"\\get_dcd\": unexpected reply " + std::to_string(value));
            m_squelch = Squelch::Dcd;
            succeed();
            return value == 1.0 ? 1 : 0;
        }
        if (code < 0 && code != kNotImplemented && code != kNotAvailable)
            return fail("\"\\get_dcd\" answered RPRT " + std::to_string(code));
        // rigctld's radio has no squelch state: its levels are Hamlib's (squelch 0 to 1,
        // strength in dB over S9), which cannot be compared with each other. Only a
        // server that does not know the command at all (gqrx) has levels on one scale.
        if (code != kUnknownCommand) {
            m_squelch = Squelch::Open;
            note("reports no squelch state (\"\\get_dcd\" answered RPRT " + std::to_string(code) +
                 "): the squelch reads as open, so a call ends by clear-down or End Call only.");
            return succeed();
        }
    }
    double strength = 0;
    double squelch = 0;
    int squelchCode = 0;
    if (!number("l STRENGTH", &strength, &code, d) || (code == 0 && !number("l SQL", &squelch, &squelchCode, d)))
        return 0;
    if (code != 0 || squelchCode != 0) {
        m_squelch = Squelch::Open;
        note("reports neither a squelch state nor signal and squelch levels: the squelch reads as open, so a "
             "call ends by clear-down or End Call only.");
        return succeed();
    }
    if (m_squelch != Squelch::Levels) {
        m_squelch = Squelch::Levels;
        note("reports no squelch state: the squelch reads as open while the signal strength (\"l STRENGTH\") is "
             "above the squelch level (\"l SQL\").");
    }
    succeed();
    return strength > squelch ? 1 : 0;
}

int RigctlReceiver::startScan()
{
    return optional(&m_scan, "g MEM 0", "no scanning; after a call the receiver stays where the call left it.",
                    deadline());
}

int RigctlReceiver::setBacklight(int level)
{
    const char* value = level == 0 ? "1.0" : level == 2 ? "0.0" : "0.5";
    return optional(&m_backlight, std::string("P BACKLIGHT ") + value, "no backlight control.", deadline());
}

} // namespace velkor
