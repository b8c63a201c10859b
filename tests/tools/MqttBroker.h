// A private mosquitto broker for tests, on 127.0.0.1 at a free port, with a config of
// its own (anonymous clients allowed, sessions kept across a restart) in a scratch
// directory; stopped by its process id, also in the middle of a test, and started
// again on the same port. And a subscriber: mosquitto_sub writing "topic payload"
// lines to a file. ready() is false when mosquitto is not installed.
#pragma once

#include <algorithm>

#include "tools/ToolProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace testsignal {

inline std::string findTool(const std::string& name)
{
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"})
        if (::access((std::string(dir) + "/" + name).c_str(), X_OK) == 0)
            return std::string(dir) + "/" + name;
    return {};
}

class MqttBroker {
public:
    MqttBroker()
    {
        m_broker = findTool("mosquitto");
        if (m_broker.empty() || findTool("mosquitto_sub").empty() || findTool("mosquitto_pub").empty())
            return;
        m_port = freePort();
        writeFile(m_dir.file("broker.conf"), "listener " + std::to_string(m_port) +
                                                 " 127.0.0.1\nallow_anonymous true\npersistence true\n"
                                                 "persistence_location " + m_dir.path() + "/\n");
        start();
    }
    ~MqttBroker() { stop(); }
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    bool ready() const { return m_ready; }
    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    // Starts the broker and waits until it takes connections.
    void start()
    {
        m_process = std::make_unique<ToolProcess>(m_broker, std::vector<std::string>{"-c", m_dir.file("broker.conf")});
        m_ready = false;
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             !m_ready && std::chrono::steady_clock::now() < end;) {
            m_ready = accepts();
            if (!m_ready)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
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
    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(fd);
        return ntohs(a.sin_port);
    }
    bool accepts() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(m_port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    TempDir m_dir;
    std::string m_broker;
    int m_port = 0;
    bool m_ready = false;
    std::unique_ptr<ToolProcess> m_process;
};

// mosquitto_sub on topic at QoS 1 with a session the broker keeps (so that it misses
// nothing while the broker restarts). It is subscribed once the constructor returns.
class MqttSubscriber {
public:
    MqttSubscriber(const MqttBroker& broker, const std::string& topic, const std::string& id = "velkor-test-sub")
        : m_broker(broker)
    {
        m_process = std::make_unique<ToolProcess>(
            findTool("mosquitto_sub"),
            std::vector<std::string>{"-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-t", topic, "-t",
                                     "velkor-test/probe", "-q", "1", "-c", "-i", id, "-v"});
        // Subscribed when a probe comes back.
        for (int i = 0; i < 100 && !m_subscribed; ++i) {
            ToolProcess pub(findTool("mosquitto_pub"), {"-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-t",
                                                        "velkor-test/probe", "-m", "probe"});
            pub.wait(std::chrono::seconds(5));
            m_subscribed = waitFor([](const std::vector<std::string>& l) { return !l.empty(); },
                                   std::chrono::milliseconds(200));
        }
    }
    bool subscribed() const { return m_subscribed; }

    // True once a probe published now comes back: the subscriber is connected and
    // subscribed again after the broker restarted (mosquitto_sub retries every second).
    bool probeReturns(std::chrono::milliseconds limit)
    {
        const std::string mark = "probe-" + std::to_string(++m_probes);
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            ToolProcess pub(findTool("mosquitto_pub"), {"-h", "127.0.0.1", "-p", std::to_string(m_broker.port()), "-t",
                                                        "velkor-test/probe", "-m", mark});
            pub.wait(std::chrono::seconds(5));
            if (waitFor([&](const std::vector<std::string>& l) {
                    return std::find(l.begin(), l.end(), "velkor-test/probe " + mark) != l.end();
                }, std::chrono::milliseconds(300)))
                return true;
        }
        return false;
    }

    // The messages received, "topic payload", the probes left out.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::istringstream in(m_process->out());
        for (std::string line; std::getline(in, line);)
            if (line.rfind("velkor-test/probe ", 0) != 0)
                out.push_back(line);
        return out;
    }
    // Waits until done(lines()) or the time is up; true when done.
    template <typename Done>
    bool waitFor(Done done, std::chrono::milliseconds limit) const
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            std::istringstream in(m_process->out());
            std::vector<std::string> all;
            for (std::string line; std::getline(in, line);)
                all.push_back(line);
            if (done(all))
                return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    const MqttBroker& m_broker;
    std::unique_ptr<ToolProcess> m_process;
    bool m_subscribed = false;
    int m_probes = 0;
};

} // namespace testsignal
