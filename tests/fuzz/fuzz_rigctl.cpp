// Any bytes from a Hamlib rigctl server, into every operation of the network receiver.
// A server on 127.0.0.1 sends the input to the first connection as soon as it is made
// and then closes its side; later connections of the same input are closed at once.
// The first byte picks the operation; the rest is what the server sends. Nothing may
// crash, hang past the operation's time-out or send a command that is not one line.
#include "FuzzUtil.h"
#include "receiver/RigctlReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>

using namespace velkor;

namespace {

constexpr unsigned kTimeoutMs = 100;

class Server {
public:
    Server()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        FUZZ_CHECK(::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
        FUZZ_CHECK(::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0);
        FUZZ_CHECK(::listen(m_fd, 16) == 0);
        m_address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    }
    const std::string& address() const { return m_address; }

    // Serves one input until stop() and returns what the receiver sent.
    void start(std::string reply)
    {
        m_stop = false;
        m_received.clear();
        m_thread = std::thread([this, reply = std::move(reply)] { serve(reply); });
    }
    std::string stop()
    {
        m_stop = true;
        m_thread.join();
        return m_received;
    }

private:
    void serve(const std::string& reply)
    {
        bool first = true;
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0)
                continue;
            const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            if (first) {
                first = false;
                ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
                ::shutdown(c, SHUT_WR);
                // Keep what it sends until it lets go.
                char buffer[4096];
                for (;;) {
                    pollfd q{c, POLLIN, 0};
                    if (::poll(&q, 1, 5) <= 0) {
                        if (m_stop)
                            break;
                        continue;
                    }
                    const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    m_received.append(buffer, static_cast<size_t>(n));
                }
            }
            ::close(c);
        }
    }

    int m_fd = -1;
    std::string m_address;
    std::atomic<bool> m_stop{false};
    std::string m_received;
    std::thread m_thread;
};

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Server server;
    if (size < 1)
        return 0;
    server.start(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    const auto start = std::chrono::steady_clock::now();
    {
        static velkor::SilentNotices quiet;
        RigctlReceiver rx(server.address(), quiet, kTimeoutMs);
        operate(rx, data[0]);
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const std::string sent = server.stop();
    // At most seven operations, each within its one time-out (and room for the sanitizers).
    FUZZ_CHECK(ms.count() < 7 * kTimeoutMs + 2000);
    // Commands are whole lines of printable text.
    FUZZ_CHECK(sent.empty() || sent.back() == '\n');
    for (char c : sent)
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c < 0x7F));
    return 0;
}
