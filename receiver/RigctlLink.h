// One TCP connection to a server of Hamlib's rigctl network protocol (rigctld, gqrx,
// SDR++): a command is one line out, its answer one or more lines back, each ended by
// a line feed.
//
// Every call takes a deadline and returns by it, whatever the server does: the name
// lookup, the connect, the write and each read wait at most until then. Nothing here
// retries or logs; the receiver decides what a failure means and says why.
#pragma once

#include "notify/Result.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace velkor {

using RigctlClock = std::chrono::steady_clock;

// Where the server is: "HOST:PORT", "[IPv6]:PORT".
struct rigctl_server_s {
    std::string host;
    uint16_t port = 0;
    std::string text; // as the user wrote it, trimmed: the name the log gives it
};

// Thrown by a network receiver's constructor for a server address that cannot name a
// server. what() is the program's fixed text; reason() says what is wrong with it.
class RigctlServerError : public std::runtime_error {
public:
    explicit RigctlServerError(std::string reason)
        : std::runtime_error("Invalid server address!")
        , m_reason(std::move(reason))
    {
    }
    const std::string& reason() const { return m_reason; }

private:
    std::string m_reason;
};

// A failure, saying what is wrong, for text that is not HOST:PORT with a port of 1 to
// 65535.
velkor::Result<rigctl_server_s> parseRigctlServer(const std::string& text);

class RigctlLink {
public:
    // A reply line longer than this is no rigctl reply.
    static constexpr size_t kMaxLine = 4096;

    explicit RigctlLink(rigctl_server_s server)
        : m_server(std::move(server))
    {
    }
    ~RigctlLink() { close(); }
    RigctlLink(const RigctlLink&) = delete;
    RigctlLink& operator=(const RigctlLink&) = delete;

    const rigctl_server_s& server() const { return m_server; }
    bool isOpen() const { return m_fd >= 0; }

    // Connects unless connected. A failure when no address of the server took the
    // connection by the deadline.
    velkor::Status open(RigctlClock::time_point deadline);
    void close();

    // Whatever the server sent unasked is thrown away, so that the next reply read is
    // the answer to the next command. false (and closed) when the server has closed
    // the connection meanwhile.
    bool discardPending();

    // Sends text and a line feed. A failure closes the connection.
    velkor::Status sendLine(const std::string& text, RigctlClock::time_point deadline);
    // Reads one line, without its line feed (and a carriage return before it). A
    // failure on a time-out, a closed connection or an overlong line; the connection
    // is then closed, since a late answer would be taken for the next one.
    velkor::Result<std::string> readLine(RigctlClock::time_point deadline);

    // Whether the last failure was the server dropping the connection (closed or
    // reset), rather than a time-out or a reply that is no reply.
    bool dropped() const { return m_dropped; }

    // How every link waits for its connection: until the descriptor is ready for the
    // poll() events or the deadline has passed (false). poll() itself unless replaced;
    // a harness that plays the server in the same thread puts in one that serves first
    // and then reports at once, so that a read past the end of what it said times out
    // without the wait. nullptr puts poll() back.
    using Wait = bool (*)(int fd, short events, RigctlClock::time_point deadline);
    static void setWait(Wait wait);

private:
    // Closes the connection and gives the reason.
    velkor::Failure fail(const std::string& reason, bool dropped = false);

    rigctl_server_s m_server;
    int m_fd = -1;
    std::string m_input; // bytes received and not yet taken as lines
    bool m_dropped = false;
};

} // namespace velkor
