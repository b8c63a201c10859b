#include "receiver/RigctlLink.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velkor {

namespace {

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Milliseconds left until the deadline, for poll(): never negative.
int msLeft(RigctlClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - RigctlClock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

// Waits for the events on fd until the deadline; false on time-out.
bool pollUntil(int fd, short events, RigctlClock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, msLeft(deadline));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

std::atomic<RigctlLink::Wait> g_wait{&pollUntil};

bool waitFor(int fd, short events, RigctlClock::time_point deadline)
{
    return g_wait.load(std::memory_order_relaxed)(fd, events, deadline);
}

// Names are looked up by a thread of our own, so that a name service that does not
// answer holds that thread, never the caller, who waits for the answer until its
// deadline and then gives the query up. (glibc's getaddrinfo_a is no help: a
// gai_suspend whose time runs out just as the lookup ends leaves its waiting entry,
// on its own stack, in the resolver's list, and the resolver's thread writes into that
// stack after the call has returned.) The queries are answered in turn: one that hangs
// in the name service holds those after it, which then fail at their deadlines as it
// would. One given up is skipped, or its answer dropped.
struct NameQuery {
    std::string host;
    std::string service;
    bool done = false;
    bool givenUp = false;
    int rc = EAI_AGAIN;
    addrinfo* result = nullptr;
};

class NameService {
public:
    // Never destroyed: at exit its thread may still be in a lookup.
    static NameService& instance()
    {
        static auto* service = new NameService;
        return *service;
    }

    // The addresses of the query's host, or the reason there are none, by the deadline.
    velkor::Result<addrinfo*> lookUp(std::string host, std::string service, RigctlClock::time_point deadline)
    {
        auto query = std::make_shared<NameQuery>();
        query->host = std::move(host);
        query->service = std::move(service);
        std::unique_lock lock(m_mutex);
        if (!m_running) {
            try {
                std::thread([this] { answer(); }).detach();
            } catch (const std::system_error& e) {
                return velkor::fail(std::string("cannot start the name lookup: ") + e.what());
            }
            m_running = true;
        }
        m_queries.push_back(query);
        m_asked.notify_one();
        if (!m_answered.wait_until(lock, deadline, [&] { return query->done; })) {
            query->givenUp = true;
            return velkor::fail("no answer from the name service for " + query->host);
        }
        if (query->rc != 0)
            return velkor::fail("cannot look up " + query->host + ": " + ::gai_strerror(query->rc));
        return query->result;
    }

private:
    void answer()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_asked.wait(lock, [&] { return !m_queries.empty(); });
            const std::shared_ptr<NameQuery> query = m_queries.front();
            m_queries.pop_front();
            if (query->givenUp)
                continue;
            lock.unlock();
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* result = nullptr;
            const int rc = ::getaddrinfo(query->host.c_str(), query->service.c_str(), &hints, &result);
            lock.lock();
            if (query->givenUp) {
                if (result)
                    ::freeaddrinfo(result);
                continue;
            }
            query->rc = rc;
            query->result = rc == 0 ? result : nullptr;
            query->done = true;
            m_answered.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_asked;
    std::condition_variable m_answered;
    std::deque<std::shared_ptr<NameQuery>> m_queries;
    bool m_running = false;
};

// The addresses of host, looked up within the deadline (a name server that does not
// answer must not hold the program). nullptr with the reason otherwise.
velkor::Result<addrinfo*> lookUp(const rigctl_server_s& server, RigctlClock::time_point deadline)
{
    // A numeric address is no name: it needs neither the name service nor its thread.
    addrinfo numericHints{};
    numericHints.ai_family = AF_UNSPEC;
    numericHints.ai_socktype = SOCK_STREAM;
    numericHints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* numeric = nullptr;
    if (::getaddrinfo(server.host.c_str(), std::to_string(server.port).c_str(), &numericHints, &numeric) == 0)
        return numeric;
    return NameService::instance().lookUp(server.host, std::to_string(server.port), deadline);
}

} // namespace

velkor::Result<rigctl_server_s> parseRigctlServer(const std::string& raw)
{
    rigctl_server_s s;
    s.text = trim(raw);
    const std::string& t = s.text;
    if (t.empty())
        return velkor::fail("no server given: write HOST:PORT, for example localhost:4532");
    std::string portText;
    if (t.front() == '[') {
        const auto close = t.find(']');
        if (close == std::string::npos || close + 1 >= t.size() || t[close + 1] != ':')
            return velkor::fail("\"" + t + "\" is not [IPv6 address]:PORT");
        s.host = t.substr(1, close - 1);
        portText = t.substr(close + 2);
    } else {
        const auto colon = t.rfind(':');
        if (colon == std::string::npos)
            return velkor::fail("\"" + t + "\" has no port: write HOST:PORT, for example localhost:4532");
        s.host = t.substr(0, colon);
        portText = t.substr(colon + 1);
        if (s.host.find(':') != std::string::npos)
            return velkor::fail("\"" + t + "\": write an IPv6 address in brackets, as [::1]:4532");
    }
    if (s.host.empty() || s.host.find_first_of(" \t") != std::string::npos)
        return velkor::fail("\"" + t + "\" names no host");
    unsigned long port = 0;
    const bool digits = !portText.empty() && portText.size() <= 5 &&
        std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits)
        port = std::stoul(portText);
    if (!digits || port < 1 || port > 65535)
        return velkor::fail("\"" + portText + "\" is no port number (1 to 65535)");
    s.port = static_cast<uint16_t>(port);
    return s;
}

void RigctlLink::setWait(Wait wait)
{
    g_wait = wait ? wait : &pollUntil;
}

velkor::Failure RigctlLink::fail(const std::string& reason, bool dropped)
{
    close();
    m_dropped = dropped;
    return velkor::fail(reason);
}

void RigctlLink::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_input.clear();
}

velkor::Status RigctlLink::open(RigctlClock::time_point deadline)
{
    if (m_fd >= 0)
        return {};
    const velkor::Result<addrinfo*> found = lookUp(m_server, deadline);
    if (!found)
        return velkor::fail(found.error());
    addrinfo* addresses = *found;
    std::string reason = "no address for " + m_server.host;
    for (const addrinfo* a = addresses; a && m_fd < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            reason = std::string("socket: ") + std::strerror(errno);
            continue;
        }
        int err = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                if (!waitFor(fd, POLLOUT, deadline)) {
                    err = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof err;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                        err = errno;
                }
            }
        }
        if (err != 0) {
            reason = err == ETIMEDOUT ? "no connection within the time-out" : std::strerror(err);
            ::close(fd);
            continue;
        }
        // Commands are short lines, each waited for: send them at once.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_fd = fd;
    }
    ::freeaddrinfo(addresses);
    if (m_fd < 0)
        return fail(reason);
    m_input.clear();
    return {};
}

bool RigctlLink::discardPending()
{
    if (m_fd < 0)
        return false;
    m_input.clear();
    char scratch[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0)
            continue;
        if (n == 0) {
            (void)fail({});
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        (void)fail({});
        return false;
    }
}

velkor::Status RigctlLink::sendLine(const std::string& text, RigctlClock::time_point deadline)
{
    if (m_fd < 0)
        return fail("not connected");
    const std::string line = text + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(m_fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(m_fd, POLLOUT, deadline))
                return fail("the server takes no more commands (sending timed out)");
            continue;
        }
        const int err = errno;
        return fail(std::string("sending failed: ") + std::strerror(err), err == EPIPE || err == ECONNRESET);
    }
    return {};
}

velkor::Result<std::string> RigctlLink::readLine(RigctlClock::time_point deadline)
{
    if (m_fd < 0)
        return fail("not connected");
    for (;;) {
        const auto end = m_input.find('\n');
        if (end != std::string::npos) {
            std::string line = m_input.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_input.erase(0, end + 1);
            return line;
        }
        if (m_input.size() > kMaxLine)
            return fail("a reply line longer than " + std::to_string(kMaxLine) + " bytes");
        if (!waitFor(m_fd, POLLIN, deadline))
            return fail("no reply within the time-out");
        char buffer[1024];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            m_input.append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            return fail("the server closed the connection", true);
        else if (const int err = errno; err != EINTR && err != EAGAIN && err != EWOULDBLOCK)
            return fail(std::string("receiving failed: ") + std::strerror(err), err == ECONNRESET);
    }
}

} // namespace velkor
