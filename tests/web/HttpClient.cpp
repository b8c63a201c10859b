#include "web/HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace testweb {

Connection::Connection(uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Connection::~Connection()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_inflating)
        inflateEnd(&m_inflate);
}

bool Connection::send(const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Connection::fill(std::chrono::steady_clock::time_point end)
{
    const auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now()).count();
    pollfd p{m_fd, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
        return false;
    char chunk[65536];
    const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    if (m_inflating)
        return inflateInto(chunk, static_cast<size_t>(n));
    m_buffer.append(chunk, static_cast<size_t>(n));
    const size_t head = m_buffer.find("\r\n\r\n");
    if (head == std::string::npos || m_buffer.find("Content-Encoding: gzip") > head)
        return true;
    m_inflating = inflateInit2(&m_inflate, 16 + MAX_WBITS) == Z_OK;
    const std::string body = m_buffer.substr(head + 4);
    m_buffer.resize(head + 4);
    return m_inflating && inflateInto(body.data(), body.size());
}

bool Connection::inflateInto(const char* data, size_t size)
{
    m_inflate.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_inflate.avail_in = static_cast<uInt>(size);
    while (m_inflate.avail_in > 0 && !m_gzipComplete) {
        char out[65536];
        m_inflate.next_out = reinterpret_cast<Bytef*>(out);
        m_inflate.avail_out = sizeof out;
        const int status = inflate(&m_inflate, Z_NO_FLUSH);
        m_buffer.append(out, sizeof out - m_inflate.avail_out);
        if (status == Z_STREAM_END)
            m_gzipComplete = true;
        else if (status != Z_OK)
            return false;
    }
    return true;
}

Connection::Response Connection::response(Ms limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    size_t head = std::string::npos;
    while ((head = m_buffer.find("\r\n\r\n")) == std::string::npos)
        if (!fill(end))
            return {};
    Response r;
    r.status = std::atoi(m_buffer.c_str() + std::min<size_t>(m_buffer.size(), 9));
    const size_t length = m_buffer.find("Content-Length: ");
    const size_t size = length < head ? std::strtoul(m_buffer.c_str() + length + 16, nullptr, 10) : 0;
    while (m_buffer.size() < head + 4 + size)
        if (!fill(end))
            return {};
    r.body = m_buffer.substr(head + 4, size);
    m_buffer.erase(0, head + 4 + size);
    return r;
}

bool Connection::closed(Ms limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char chunk[4096];
            if (::recv(m_fd, chunk, sizeof chunk, 0) <= 0)
                return true;
        }
    }
    return false;
}

std::vector<std::string> Connection::streamEvents(Ms limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> events;
    size_t at = 0;
    for (;;) {
        const size_t stop = m_buffer.find("\n\n", at);
        if (stop == std::string::npos) {
            if (!fill(end))
                return events;
            continue;
        }
        const std::string event = m_buffer.substr(at, stop - at);
        at = stop + 2;
        const size_t data = event.find("data: ");
        if (event.rfind("event: ", 0) != 0 && data != std::string::npos)
            events.push_back(event.substr(data + 6));
    }
}

size_t Connection::countStreamEvents(Ms limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    // Each event with an id starts a line with "id: ". A read may cut that mark: the
    // last bytes of a read (too few to hold a whole one) stay for the next.
    static constexpr std::string_view kMark = "\nid: ";
    size_t events = 0;
    do {
        const char* const stop = m_buffer.data() + m_buffer.size();
        for (const char* at = m_buffer.data();
             (at = static_cast<const char*>(memmem(at, stop - at, kMark.data(), kMark.size()))); ++at)
            ++events;
        m_buffer.erase(0, m_buffer.size() - std::min(m_buffer.size(), kMark.size() - 1));
    } while (fill(end));
    return events;
}

std::string get(const std::string& path, const std::string& headers)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

} // namespace testweb
