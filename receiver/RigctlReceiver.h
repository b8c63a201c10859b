// A receiver behind a server of Hamlib's rigctl network protocol: rigctld (which
// drives some 300 radios and lets several programs share one), gqrx and SDR++ (which
// serve a subset of it).
//
// The protocol is spoken directly, one line per command, rather than through
// libhamlib's network backend: that backend opens every connection with a handshake
// of several commands (\chk_vfo, \dump_state, \get_powerstat) whose answers the subset
// servers only imitate, it folds their "RPRT 1" (no such command) into answers that
// cannot be told from a result, so that the squelch could not fall back to levels,
// and against a server that accepts and never answers its start-up alone waits
// 20 seconds unless its time-out and retries are configured away.
//
// Every operation has one time-out for all it does (looking up the host, connecting,
// each command and reply): a server that is down, stalls or sends garbage costs at
// most that, and the operation fails with a log line saying why. A connection that
// failed is closed, since a late answer would be taken for the next one; the next
// operation connects again. What the server cannot do (a squelch state, a narrow
// mode, scanning, a backlight) is found out at the first use on each connection and
// said once in the log.
#pragma once

#include "notify/Notices.h"
#include "receiver/CReceiverCtrl.h"
#include "receiver/RigctlLink.h"

#include <set>
#include <string>

namespace velkor {

class RigctlReceiver : public CReceiverCtrl {
public:
    // Each operation, all its commands together, is given this long.
    static constexpr unsigned kTimeoutMs = 1000;
    // A receiver further than this from the frequency asked for did not tune.
    static constexpr long long kTuneToleranceHz = 1000;

    // server: HOST:PORT. Throws RigctlServerError for an address that names no server;
    // connects only when first used. Why an operation failed, and what the server
    // cannot do, are notes to notices.
    RigctlReceiver(const std::string& server, velkor::Notices& notices, unsigned timeoutMs = kTimeoutMs);

    // Connects and reads the frequency. 1 also when the server cannot be reached
    // (failure() then says why): the receiver tries again at each operation, so a
    // server started after the program is used as soon as it is up.
    int initialize() override;
    // "F" with the frequency in Hz, for a narrow channel "M FM 12500" where the server
    // takes it, then "f" to confirm: a server may acknowledge and stay where it was.
    // 0 MHz (the program letting the receiver go) leaves it where it is: there is no
    // such command, and tuning an SDR to 0 Hz would move its hardware to the band edge.
    int setFrequency(double mhz, int narrow) override;
    double getFrequency() override;
    // The protocol has no display texts.
    int setText(const char*) override { return 1; }
    int setText2(const char*) override { return 1; }
    // "g MEM 0" (scan the memories) where the radio can; elsewhere nothing, successfully.
    int startScan() override;
    // "\get_dcd" where the server knows it; else signal strength against the squelch
    // level ("l STRENGTH", "l SQL", as gqrx offers); else 1 (open), and the program's
    // calls end by clear-down or End Call only.
    int isSquelchOpen() override;
    // "P BACKLIGHT 1.0/0.5/0.0" where the radio has one; elsewhere nothing, successfully.
    int setBacklight(int level) override;

    std::string failure() const override { return m_failure; }
    const std::string& server() const { return m_link.server().text; }

private:
    enum class Squelch { Unknown, Dcd, Levels, Open };
    enum class Optional { Unknown, Yes, No };
    using Deadline = RigctlClock::time_point;

    Deadline deadline() const;
    // Connected (again) and nothing stale waiting; false after a logged failure.
    bool ready(Deadline d);
    // One command and its one reply line; false after a logged failure.
    bool ask(const std::string& cmd, std::string* reply, Deadline d);
    // A command answered "RPRT n": *code is n; false after a logged failure.
    bool command(const std::string& cmd, int* code, Deadline d);
    // A command answered by a number (*code 0), or by "RPRT n" with n not 0 when it
    // cannot (*code n).
    bool number(const std::string& cmd, double* value, int* code, Deadline d);
    // A command that only some servers take: 1 done or not possible there, 0 failed.
    int optional(Optional* support, const std::string& cmd, const std::string& missing, Deadline d);

    int succeed();
    int fail(const std::string& reason);
    // Said once per receiver.
    void note(const std::string& text);
    void log(const std::string& line) const;
    // What a new connection may answer differently from the last one.
    void forgetServer();

    RigctlLink m_link;
    unsigned m_timeoutMs;
    velkor::Notices& m_notices;
    bool m_quiet = false; // while the program says itself why the server is not there
    std::string m_failure;
    std::string m_lastLogged; // a failure already in the log, not repeated
    std::set<std::string> m_noted;
    Squelch m_squelch = Squelch::Unknown;
    Optional m_narrowMode = Optional::Unknown;
    Optional m_scan = Optional::Unknown;
    Optional m_backlight = Optional::Unknown;
};

} // namespace velkor
