// The web page of velkor-track and its API, served from a thread of its own with Qt
// HTTP Server (event-driven: one thread for every client, no thread per connection).
//
//   /                      the page (shipped in the program; nothing external)
//   /api/events?since=N    the events numbered above N, as a JSON array
//   /api/stream[?since=N]  the same events live as Server-Sent Events ("id" is the
//                          event's seq; a reconnecting browser resumes after
//                          Last-Event-ID), and "state" events with the status line,
//                          the followed call and the number of calls, and "end"
//                          when the run is over; gzipped for a client that accepts
//                          it (browsers do), each batch packed once for all
//   /api/calls             the recent calls, newest first (their recordings' JSON)
//   /recordings/DAY/FILE   a recording, only from inside the record folder; whole or
//                          the one byte range a player asks for, sent piece by piece
//   POST /api/end-call, /api/hold, /api/release (system, fleet, unit): with a token only
//
// With a token every request must carry it (Authorization: Bearer, or the cookie the
// login form sets). Around the library: a request over 64 kB is closed, a connection
// idle for 10 s (or a live client whose buffer has not moved for that long) is
// closed, and each live client has a bounded buffer; a client that falls behind the
// backlog or stalls is dropped. The producer side only appends to the EventBacklog.
#pragma once

#include "events/EventBacklog.h"
#include "notify/Result.h"
#include "protocol/commands.h"

#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velkor {

struct web_options_s {
    std::string host = "127.0.0.1";
    uint16_t port = 0;     // 0: any free port
    std::string token;     // empty: read-only, no token asked for
    std::string recordDir; // empty: no recordings served
};

// What the page may ask of the tracker. Called on the server's thread: each must hand
// the work to the command window's thread and return at once.
struct web_controls_s {
    std::function<void()> endCall;
    std::function<void(const velkor_address_s&)> hold;
    std::function<void(const velkor_address_s&)> release;
    // A log line (UTF-8) about a refused request.
    std::function<void(const std::string&)> log;
};

class WebServer {
public:
    static constexpr int64_t kMaxRequest = 64 * 1024;
    static constexpr int64_t kClientBuffer = 256 * 1024;
    static constexpr int kIdleMs = 10000;
    static constexpr int kMaxConnections = 4000;
    // Live clients get new events at most this often, unless they come in a burst:
    // then every 256 events.
    static constexpr int kBatchMs = 100;

    WebServer(EventBacklog& backlog, web_options_s options, web_controls_s controls);
    // stop().
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Starts the thread and listens; the port, or why it cannot listen. Connections
    // wait in the queue until serve().
    velkor::Result<uint16_t> start();
    // Sets up the HTTP library (it loads the TLS backend: some milliseconds of work,
    // better done once decoding runs than before it starts) and serves from then on.
    void serve();
    // Closes every connection and ends the thread. Safe to call more than once.
    void stop();

    class Handler;

private:
    // Live clients' events in blocks of this many consecutive numbers; a burst goes
    // out a block at a time.
    static constexpr uint64_t kBlockEvents = 256;
    struct Wake;
    EventBacklog& m_backlog;
    web_options_s m_options;
    web_controls_s m_controls;
    QThread m_thread;
    QObject* m_anchor = nullptr;
    QObject* m_listening = nullptr; // from start() until serve() takes it
    Handler* m_handler = nullptr;
    std::shared_ptr<Wake> m_wake;
};

// HOST:PORT or PORT (HOST 127.0.0.1; [ADDR]:PORT for IPv6); a failure saying what was
// expected.
velkor::Result<web_options_s> parseHttpAddress(const std::string& text);

} // namespace velkor
