// A private mosquitto broker for tests, on 127.0.0.1 at a free port, with a config of
// its own (anonymous clients allowed, sessions kept across a restart) in a scratch
// directory; stopped by its process id, also in the middle of a test, and started
// again on the same port. And a subscriber: mosquitto_sub writing "topic payload"
// lines to a file. ready() is false when mosquitto is not installed. Given users, the
// broker takes only them, each with its password (a mosquitto_passwd file).
#pragma once

#include <algorithm>

#include "fixtures/Process.h"
#include "fixtures/WaitFor.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsignal {

class MqttBroker {
public:
    explicit MqttBroker(const std::vector<std::pair<std::string, std::string>>& users = {})
    {
        m_broker = findProgram("mosquitto");
        if (m_broker.empty() || findProgram("mosquitto_sub").empty() || findProgram("mosquitto_pub").empty())
            return;
        m_port = freePort();
        std::string access = "allow_anonymous true\n";
        if (!users.empty()) {
            const std::string passwd = findProgram("mosquitto_passwd");
            writeFile(m_dir.file("passwd"), "");
            for (const auto& [user, password] : users)
                if (passwd.empty() || runTool(passwd, {"-b", m_dir.file("passwd"), user, password}).status != 0)
                    return;
            // Started as root, mosquitto reads the file as its own user.
            namespace fs = std::filesystem;
            fs::permissions(m_dir.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
            fs::permissions(m_dir.file("passwd"), fs::perms::others_read, fs::perm_options::add);
            access = "allow_anonymous false\npassword_file " + m_dir.file("passwd") + "\n";
        }
        writeFile(m_dir.file("broker.conf"),
                  "listener " + std::to_string(m_port) + " 127.0.0.1\n" + access +
                      "persistence true\npersistence_location " + m_dir.path() + "/\n");
        start();
    }
    ~MqttBroker() { stop(); }
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    bool ready() const { return m_ready; }
    uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    // Starts the broker and waits until it takes connections.
    void start()
    {
        m_process = std::make_unique<ToolProcess>(m_broker, std::vector<std::string>{"-c", m_dir.file("broker.conf")});
        m_ready = static_cast<bool>(waitFor(
            "the broker taking connections", [this] { return listens(m_port); }, {}, std::chrono::seconds(10)));
    }
    // SIGTERM, as an administrator stops it (it saves its sessions), and waits.
    void stop()
    {
        if (!m_process)
            return;
        m_process->signal(SIGTERM);
        m_process->wait(std::chrono::seconds(10));
        m_process.reset();
        m_ready = false;
    }

private:
    TempDir m_dir;
    std::string m_broker;
    uint16_t m_port = 0;
    bool m_ready = false;
    std::unique_ptr<ToolProcess> m_process;
};

// A broker host that does not answer (down, or behind a firewall that drops): a port
// on 127.0.0.1 whose listener accepts nothing and whose one-place queue is already
// taken, so that the kernel drops every further connection request and a connect
// neither succeeds nor fails for minutes. silent() is false if that could not be made.
class SilentPort {
public:
    SilentPort()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_listener, 0) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        // Fill the queue until a connection stays unanswered.
        for (int i = 0; i < 8 && !m_silent; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                return;
            m_fillers.push_back(fd);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            pollfd p{fd, POLLOUT, 0};
            m_silent = ::poll(&p, 1, 300) == 0;
        }
    }
    ~SilentPort()
    {
        for (int fd : m_fillers)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    bool silent() const { return m_silent; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_listener = -1;
    uint16_t m_port = 0;
    bool m_silent = false;
    std::vector<int> m_fillers;
};

// mosquitto_sub on topic at QoS 1 with a session the broker keeps (so that it misses
// nothing while the broker restarts). It is subscribed once the constructor returns.
class MqttSubscriber {
public:
    MqttSubscriber(const MqttBroker& broker, const std::string& topic, const std::string& id = "velkor-test-sub")
        : m_broker(broker)
    {
        m_process = std::make_unique<ToolProcess>(
            findProgram("mosquitto_sub"),
            std::vector<std::string>{"-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-t", topic, "-t",
                                     "velkor-test/probe", "-q", "1", "-c", "-i", id, "-v"});
        // Subscribed when a probe comes back.
        m_subscribed = probeReturns(std::chrono::seconds(20));
    }
    bool subscribed() const { return m_subscribed; }

    // True once a probe published now comes back: the subscriber is connected and
    // subscribed again after the broker restarted (mosquitto_sub retries every second).
    bool probeReturns(std::chrono::milliseconds limit)
    {
        const std::string payload = "probe-" + std::to_string(++m_probes), mark = "velkor-test/probe " + payload;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            runTool(
                findProgram("mosquitto_pub"),
                {"-h", "127.0.0.1", "-p", std::to_string(m_broker.port()), "-t", "velkor-test/probe", "-m", payload},
                {}, {}, std::chrono::seconds(5));
            if (waitFor(
                    [&](const std::vector<std::string>& l) { return std::find(l.begin(), l.end(), mark) != l.end(); },
                    std::chrono::milliseconds(300)))
                return true;
        }
        return false;
    }

    // The messages received, "topic payload", the probes left out.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const std::string& line : splitLines(m_process->out()))
            if (line.rfind("velkor-test/probe ", 0) != 0)
                out.push_back(line);
        return out;
    }
    // Waits until done(every line received, probes too) or the time is up.
    template <typename Done>::testing::AssertionResult waitFor(Done done, std::chrono::milliseconds limit) const
    {
        return testwait::waitFor(
            "the subscriber's messages", [&] { return done(splitLines(m_process->out())); },
            [&] { return m_process->out(); }, limit);
    }

    ::testing::AssertionResult waitForLine(const std::string& line, std::chrono::milliseconds limit) const
    {
        return waitFor([&](const std::vector<std::string>& l) { return contains(l, line); }, limit);
    }

private:
    const MqttBroker& m_broker;
    std::unique_ptr<ToolProcess> m_process;
    bool m_subscribed = false;
    int m_probes = 0;
};

} // namespace testsignal
