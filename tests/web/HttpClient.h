// A small HTTP client for the web page's tests: raw requests over a TCP connection to
// 127.0.0.1, a response read by its Content-Length, and the live stream read event by
// event (gzipped or not). Every read has a time limit.
#pragma once

#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testweb {

using Ms = std::chrono::milliseconds;

class Connection {
public:
    // Connected (or not: ok() says) to 127.0.0.1:port.
    explicit Connection(uint16_t port);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_fd >= 0; }
    bool send(const std::string& bytes);
    // One response: its status code (0 when none came before the close or the limit)
    // and body.
    struct Response {
        int status = 0;
        std::string body;
    };
    Response response(Ms limit = Ms(10000));
    // Whether the server closed the connection within the limit.
    bool closed(Ms limit);
    // The data of the live stream's events until the server closes it or the limit;
    // "state" events left out.
    std::vector<std::string> streamEvents(Ms limit);
    // How many of them (those with an id) came, keeping none: a client of a load
    // test that should cost the machine as little as a browser elsewhere would.
    size_t countStreamEvents(Ms limit);
    // Whether a gzipped response ended with its trailer, and that matched.
    bool gzipComplete() const { return m_gzipComplete; }

private:
    // Bytes into m_buffer; false at the close or the limit.
    bool fill(std::chrono::steady_clock::time_point end);
    bool inflateInto(const char* data, size_t size);

    int m_fd = -1;
    std::string m_buffer;
    bool m_inflating = false;
    bool m_gzipComplete = false;
    z_stream m_inflate{};
};

// A GET with the headers given (each ending in CRLF).
std::string get(const std::string& path, const std::string& headers = {});

} // namespace testweb
