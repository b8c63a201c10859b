// Any bytes from a Hamlib rigctl server, into every operation of the network receiver.
// The receiver looks the server up and connects to it on 127.0.0.1 as it would to
// rigctld; the server is played in the same thread, through the link's wait: the first
// connection gets the input as soon as the receiver first waits on it, later ones of
// the same input are closed at once. Then each wait reports at once what is there, so
// a read past the end of the input takes the time-out path without the time-out
// (or, when the operation byte has 0x40 set, finds the connection closed). With 0x20
// set the server is named "localhost", looked up by the name service, else given as
// 127.0.0.1.
// The first byte picks the operation; the rest is what the server sends. Nothing may
// crash, hang past the operation's time-out or send a command that is not one line.
// Covers RigctlReceiver (every operation, its fallbacks and reply checks) and
// RigctlLink (lookup, connect, send, line reads, time-outs, drops and reconnects).
#include "FuzzUtil.h"
#include "receiver/RigctlReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>
#include <utility>

using namespace velkor;

namespace {

constexpr unsigned kTimeoutMs = 100;

class Server {
public:
    Server() { listenAnew(); }
    std::string address(bool named) const { return (named ? "localhost:" : "127.0.0.1:") + m_port; }

    // The next input: reply goes to the first connection, which then stays silent or,
    // with closing, is closed on the server's side.
    void start(std::string reply, bool closing)
    {
        // A connection the server closed first waits out TIME_WAIT on its port pair:
        // a new port now and then keeps a long campaign from using up the client ports.
        if (++m_inputs % 4096 == 0)
            listenAnew();
        m_reply = std::move(reply);
        m_closing = closing;
        m_first = true;
        m_received.clear();
    }

    // Takes the connections waiting: the first gets the input, the rest are closed.
    void serve()
    {
        for (;;) {
            const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (c < 0)
                return;
            // Closed by a reset, as all of them, so that they do not wait out TIME_WAIT.
            const linger abort{1, 0};
            ::setsockopt(c, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            if (!m_first) {
                ::close(c);
                continue;
            }
            m_first = false;
            size_t sent = 0;
            while (sent < m_reply.size()) {
                const ssize_t n = ::send(c, m_reply.data() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
                FUZZ_CHECK(n > 0);
                sent += static_cast<size_t>(n);
            }
            if (m_closing)
                ::shutdown(c, SHUT_WR);
            m_connection = c;
        }
    }

    // Ends the input's connections and returns what the receiver sent.
    std::string stop()
    {
        serve();
        if (m_connection >= 0) {
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::recv(m_connection, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n <= 0)
                    break;
                m_received.append(buffer, static_cast<size_t>(n));
            }
            ::close(m_connection);
            m_connection = -1;
        }
        return m_received;
    }

private:
    void listenAnew()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        FUZZ_CHECK(::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
        FUZZ_CHECK(::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0);
        FUZZ_CHECK(::listen(m_fd, 16) == 0);
        m_port = std::to_string(ntohs(a.sin_port));
    }

    int m_fd = -1;
    unsigned m_inputs = 0;
    std::string m_port;
    std::string m_reply;
    bool m_closing = false;
    bool m_first = true;
    int m_connection = -1;
    std::string m_received;
};

Server& server()
{
    static Server s;
    return s;
}

// The link's wait: the server's turn, then what is there now.
bool serveThenLook(int fd, short events, RigctlClock::time_point)
{
    server().serve();
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, 0) > 0;
}

void operate(RigctlReceiver& rx, uint8_t op)
{
    switch (op % 7) {
    case 0:
        FUZZ_CHECK(rx.initialize() == 1);
        break;
    case 1:
        (void)rx.setFrequency(420.0125, op & 0x80 ? 1 : 0);
        break;
    case 2: {
        const double mhz = rx.getFrequency();
        FUZZ_CHECK(std::isfinite(mhz) && mhz >= 0.0);
        break;
    }
    case 3: {
        // The squelch twice: the second time with what the first found out.
        for (int i = 0; i < 2; ++i) {
            const int open = rx.isSquelchOpen();
            FUZZ_CHECK(open == 0 || open == 1);
        }
        break;
    }
    case 4:
        (void)rx.startScan();
        break;
    case 5:
        (void)rx.setBacklight(op & 0x80 ? 2 : 0);
        break;
    default:
        // The call tracker's order of operations.
        rx.initialize();
        rx.getFrequency();
        rx.setBacklight(0);
        rx.setFrequency(169.2, 1);
        rx.isSquelchOpen();
        rx.setFrequency(169.0, 1);
        rx.startScan();
        break;
    }
}

// One run of the input: how long the operations took, and what the receiver sent.
std::pair<std::chrono::milliseconds, std::string> run(const uint8_t* data, size_t size)
{
    server().start(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), (data[0] & 0x40) != 0);
    const auto start = std::chrono::steady_clock::now();
    {
        static velkor::SilentNotices quiet;
        RigctlReceiver rx(server().address((data[0] & 0x20) != 0), quiet, kTimeoutMs);
        operate(rx, data[0]);
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return {ms, server().stop()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool waiting = (RigctlLink::setWait(&serveThenLook), true);
    (void)waiting;
    if (size < 1)
        return 0;
    // At most seven operations, each within its one time-out (and room for the sanitizers).
    // A campaign at the lowest priority may wait seconds for the processor while the
    // machine is busy: a run over the bound is run again, and only a second one counts
    // (a slow path is as slow every time).
    constexpr std::chrono::milliseconds bound(7 * kTimeoutMs + 2000);
    auto result = run(data, size);
    if (result.first >= bound)
        result = run(data, size);
    FUZZ_CHECK(result.first < bound);
    const std::string& sent = result.second;
    // Commands are whole lines of printable text.
    FUZZ_CHECK(sent.empty() || sent.back() == '\n');
    for (char c : sent)
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c < 0x7F));
    return 0;
}
