#include "events/MqttPublisher.h"

#include "events/EventJson.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace velkor {

namespace {

// How many messages libmosquitto holds for us at a time; the rest wait in our queue,
// where the bound and the drop count apply.
constexpr uint64_t kWindow = 100;
constexpr unsigned kReconnectMinSeconds = 1;
constexpr unsigned kReconnectMaxSeconds = 10;

void initLibrary()
{
    static const int rc = mosquitto_lib_init();
    (void)rc;
}

std::string errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}

// An encrypted key file must not make libmosquitto ask for its pass phrase on the
// terminal: a tracker running unattended would wait for ever.
int noPassphrase(char*, int, int, void*)
{
    return 0;
}

std::string unreachableLine(const std::string& where, const std::string& why)
{
    return "MQTT: cannot reach the broker at " + where + " (" + why + "); trying again";
}

} // namespace

velkor::Result<mqtt_address_s> parseMqttAddress(const std::string& text)
{
    std::string h = text;
    std::string p;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':'))
            return velkor::fail("\"" + text + "\" is no broker address: expected HOST[:PORT] or [IPv6]:PORT");
        h = text.substr(1, close - 1);
        if (close + 1 < text.size())
            p = text.substr(close + 2);
        else
            p.clear();
        if (close + 1 < text.size() && p.empty())
            return velkor::fail("\"" + text + "\" has no port after the colon");
    } else if (const size_t colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos)
            return velkor::fail("\"" + text + "\": write an IPv6 address in brackets, [ADDRESS]:PORT");
        h = text.substr(0, colon);
        p = text.substr(colon + 1);
        if (p.empty())
            return velkor::fail("\"" + text + "\" has no port after the colon");
    }
    if (h.empty())
        return velkor::fail("\"" + text + "\" names no broker host");
    int value = 1883;
    if (!p.empty()) {
        value = 0;
        for (char c : p) {
            if (c < '0' || c > '9' || value > 65535) {
                value = -1;
                break;
            }
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535)
            return velkor::fail("\"" + p + "\" is no port: expected 1 to 65535");
    }
    return mqtt_address_s{h, value};
}

velkor::Result<std::string> readPasswordFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return velkor::fail("cannot read the password file " + path + ": " + std::strerror(errno));
    std::string line;
    std::getline(in, line);
    if (in.bad())
        return velkor::fail("cannot read the password file " + path);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

velkor::Result<std::string> checkedBaseTopic(const std::string& base)
{
    std::string topic = base;
    while (topic.size() > 1 && topic.back() == '/')
        topic.pop_back();
    if (topic.empty() || topic == "/")
        return velkor::fail("the MQTT topic must not be empty");
    if (mosquitto_pub_topic_check((topic + "/status").c_str()) != MOSQ_ERR_SUCCESS)
        return velkor::fail("\"" + base + "\" is no topic to publish to (no + or #, valid UTF-8)");
    return topic;
}

MqttPublisher::MqttPublisher(mqtt_options_s options, velkor::Notices& notices)
    : m_options(std::move(options))
    , m_notices(notices)
{
    if (m_options.host.empty())
        throw MqttError("no MQTT broker host");
    if (m_options.port < 1 || m_options.port > 65535)
        throw MqttError("MQTT port " + std::to_string(m_options.port) + " is not 1 to 65535");
    auto topic = checkedBaseTopic(m_options.baseTopic);
    if (!topic)
        throw MqttError(topic.error());
    m_options.baseTopic = std::move(*topic);
    if (m_options.password && m_options.user.empty())
        throw MqttError("an MQTT password needs a user name (--mqtt-user)");
    if (m_options.certfile.empty() != m_options.keyfile.empty())
        throw MqttError("a client certificate needs its key, and a key its certificate");
    if (!m_options.certfile.empty() && m_options.cafile.empty() && m_options.capath.empty())
        throw MqttError("a client certificate needs the broker's CA (--mqtt-cafile or --mqtt-capath)");
    if (m_options.queueLimit == 0)
        m_options.queueLimit = 1;
    if (m_options.clientId.empty()) {
        char host[64] = {};
        ::gethostname(host, sizeof host - 1);
        m_options.clientId = "velkor-" + std::string(host) + "-" + std::to_string(::getpid());
    }

    initLibrary();
    m_mosq = mosquitto_new(m_options.clientId.c_str(), true, this);
    if (!m_mosq)
        throw MqttError(std::string("cannot create the MQTT client: ") + std::strerror(errno));
    auto fail = [this](const std::string& what, int rc) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
        throw MqttError(what + ": " + errorText(rc));
    };
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_options.user.empty()) {
        rc = mosquitto_username_pw_set(m_mosq, m_options.user.c_str(),
                                       m_options.password ? m_options.password->c_str() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            fail("cannot use the MQTT user name", rc);
    }
    if (!m_options.cafile.empty() || !m_options.capath.empty()) {
        auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        rc = mosquitto_tls_set(m_mosq, orNull(m_options.cafile), orNull(m_options.capath), orNull(m_options.certfile),
                               orNull(m_options.keyfile), noPassphrase);
        if (rc != MOSQ_ERR_SUCCESS)
            fail("cannot use the TLS files (they must exist and be readable)", rc);
        if (m_options.tlsInsecure)
            mosquitto_tls_insecure_set(m_mosq, true);
    }
    const std::string status = m_options.baseTopic + "/status";
    rc = mosquitto_will_set(m_mosq, status.c_str(), 7, "offline", 1, true);
    if (rc != MOSQ_ERR_SUCCESS)
        fail("cannot set the MQTT last will", rc);
    mosquitto_connect_callback_set(m_mosq, onConnect);
    mosquitto_disconnect_callback_set(m_mosq, onDisconnect);
    mosquitto_publish_callback_set(m_mosq, onPublish);
    // Two threads of ours call into the client: libmosquitto must lock for them.
    rc = mosquitto_threaded_set(m_mosq, true);
    if (rc != MOSQ_ERR_SUCCESS)
        fail("cannot set up the MQTT client for threads", rc);
    m_network = std::thread([this] { NetworkThread(); });
    m_thread = std::thread([this] { SendingThread(); });
}

MqttPublisher::~MqttPublisher()
{
    shutdown();
}

std::string MqttPublisher::where() const
{
    const bool v6 = m_options.host.find(':') != std::string::npos;
    return (v6 ? "[" + m_options.host + "]" : m_options.host) + ":" + std::to_string(m_options.port);
}

void MqttPublisher::note(const std::string& line)
{
    m_notices.note(line);
}

void MqttPublisher::publish(uint32_t code, const std::string& json)
{
    publish(eventTopic(m_options.baseTopic, code), json);
}

void MqttPublisher::publish(std::string topic, std::string payload)
{
    std::lock_guard lock(m_mutex);
    ++m_stats.queued;
    if (m_shutDown) {
        ++m_stats.dropped;
        return;
    }
    if (m_queue.size() + m_outstanding >= m_options.queueLimit) {
        // The newest events matter most once the broker is back: the oldest go.
        ++m_stats.dropped;
        if (m_queue.empty())
            return;
        m_queue.pop_front();
    }
    m_queue.push_back({std::move(topic), std::move(payload)});
    m_cv.notify_all();
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc)
{
    static_cast<MqttPublisher*>(self)->Connected(rc);
}

void MqttPublisher::onDisconnect(mosquitto*, void* self, int rc)
{
    static_cast<MqttPublisher*>(self)->Disconnected(rc);
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid)
{
    static_cast<MqttPublisher*>(self)->Acknowledged(mid);
}

void MqttPublisher::Connected(int rc)
{
    std::string lines[2];
    bool online = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_shutDown) {
            // A connection that came up while we shut down: it goes with the client.
        } else if (rc != 0) {
            // 4 and 5: a wrong user name or password, or a client it does not allow.
            const bool login = rc == 4 || rc == 5;
            if (!m_refusedReported)
                lines[0] = "MQTT: the broker at " + where() +
                    (login ? " refused the login (" : " refused the connection (") + mosquitto_connack_string(rc) +
                    (login ? " Check --mqtt-user and --mqtt-password-file.)" : ")") + "; trying again";
            m_refusedReported = true;
            // The broker is reachable: the disconnection that follows says nothing more.
            m_lostReported = true;
        } else {
            if (!m_everConnected || m_lostReported)
                lines[0] = "MQTT: connected to " + where();
            if (m_stats.dropped > m_droppedReported) {
                lines[1] = "MQTT: " + std::to_string(m_stats.dropped - m_droppedReported) +
                    " events were dropped while the broker could not be reached (queue of " +
                    std::to_string(m_options.queueLimit) + " full)";
                m_droppedReported = m_stats.dropped;
            }
            m_connected = true;
            m_everConnected = true;
            m_lostReported = false;
            m_refusedReported = false;
            // Counted before it is sent, so that its acknowledgement never comes first.
            ++m_outstanding;
            online = true;
        }
    }
    if (online) {
        const std::string status = m_options.baseTopic + "/status";
        const int sent = mosquitto_publish(m_mosq, nullptr, status.c_str(), 6, "online", 1, true);
        std::lock_guard lock(m_mutex);
        if (sent != MOSQ_ERR_SUCCESS && m_outstanding > 0)
            --m_outstanding;
        m_cv.notify_all();
    }
    for (const auto& line : lines)
        if (!line.empty())
            note(line);
}

void MqttPublisher::Disconnected(int rc)
{
    std::string line;
    {
        std::lock_guard lock(m_mutex);
        m_connected = false;
        if (rc != 0 && !m_lostReported && !m_shutDown) {
            line = m_everConnected ? "MQTT: lost the connection to " + where() + " (" + errorText(rc) +
                    "); events are kept (at most " + std::to_string(m_options.queueLimit) + ") until it is back"
                                   : unreachableLine(where(), errorText(rc));
            m_lostReported = true;
        }
        m_cv.notify_all();
    }
    if (!line.empty())
        note(line);
}

void MqttPublisher::Acknowledged(int)
{
    std::lock_guard lock(m_mutex);
    if (m_outstanding > 0)
        --m_outstanding;
    ++m_stats.delivered;
    m_cv.notify_all();
}

void MqttPublisher::noteUnreachable(int rc)
{
    const std::string why = errorText(rc);
    std::unique_lock lock(m_mutex);
    if (m_lostReported || m_shutDown)
        return;
    m_lostReported = true;
    lock.unlock();
    note(unreachableLine(where(), why));
}

void MqttPublisher::NetworkThread()
{
    // Connecting resolves the host name, which may take long: here, never on the
    // thread that started us.
    int rc = mosquitto_connect_async(m_mosq, m_options.host.c_str(), m_options.port, m_options.keepaliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        noteUnreachable(rc);
    auto backoff = std::chrono::seconds(kReconnectMinSeconds);
    for (;;) {
        if (rc == MOSQ_ERR_SUCCESS) {
            // Sends, receives and calls our callbacks; a short time-out so that a stop
            // is seen at once even when nothing moves.
            rc = mosquitto_loop(m_mosq, 100, 1);
            std::lock_guard lock(m_mutex);
            if (m_networkStop)
                return;
            if (m_connected)
                backoff = std::chrono::seconds(kReconnectMinSeconds);
            if (rc == MOSQ_ERR_SUCCESS)
                continue;
        }
        // No connection (a lost one is told by the disconnect callback): wait, then
        // try again, the wait doubling up to its bound.
        {
            std::unique_lock lock(m_mutex);
            if (m_cv.wait_for(lock, backoff, [this] { return m_networkStop; }))
                return;
            if (m_shutDown)
                continue; // shutting down: no new connection
        }
        backoff = std::min<std::chrono::seconds>(backoff * 2, std::chrono::seconds(kReconnectMaxSeconds));
        rc = mosquitto_reconnect_async(m_mosq);
        if (rc != MOSQ_ERR_SUCCESS)
            noteUnreachable(rc);
    }
}

void MqttPublisher::SendingThread()
{
    std::unique_lock lock(m_mutex);
    bool fullNoted = false;
    for (;;) {
        m_cv.wait(lock, [&] {
            return m_shutDown || (m_connected && !m_queue.empty() && m_outstanding < kWindow) ||
                (!fullNoted && m_stats.dropped > m_droppedReported);
        });
        if (m_shutDown)
            return;
        if (!fullNoted && m_stats.dropped > m_droppedReported) {
            fullNoted = true;
            lock.unlock();
            note("MQTT: the queue is full (" + std::to_string(m_options.queueLimit) +
                 " events): dropping the oldest until the broker takes them again");
            lock.lock();
            continue;
        }
        if (m_stats.dropped == m_droppedReported)
            fullNoted = false;
        Message message = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_outstanding;
        lock.unlock();
        // While the connection is down libmosquitto answers NO_CONN but keeps a QoS 1
        // message for the next connection, as it keeps those in flight.
        const int size = static_cast<int>(message.payload.size());
        const int rc =
            mosquitto_publish(m_mosq, nullptr, message.topic.c_str(), size, message.payload.data(), 1, false);
        lock.lock();
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
            --m_outstanding;
            ++m_stats.dropped;
            m_droppedReported = m_stats.dropped; // told here, not as a full queue
            lock.unlock();
            note("MQTT: cannot publish to " + message.topic + ": " + errorText(rc));
            lock.lock();
        }
    }
}

size_t MqttPublisher::shutdown(std::chrono::milliseconds limit)
{
    if (!m_mosq)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    {
        std::unique_lock lock(m_mutex);
        if (m_shutDown)
            return m_queue.size() + m_outstanding;
        // What is queued goes out while the broker takes it.
        m_cv.wait_until(lock, deadline, [this] { return m_queue.empty() && m_outstanding == 0; });
        if (m_connected) {
            ++m_outstanding;
            lock.unlock();
            const std::string status = m_options.baseTopic + "/status";
            const int sent = mosquitto_publish(m_mosq, nullptr, status.c_str(), 7, "offline", 1, true);
            lock.lock();
            if (sent != MOSQ_ERR_SUCCESS && m_outstanding > 0)
                --m_outstanding;
            m_cv.wait_until(lock, std::max(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(500)),
                            [this] { return m_outstanding == 0 || !m_connected; });
        }
        m_shutDown = true;
        m_cv.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    // The network thread sends the disconnect; it is never blocked for long, whatever
    // state the connection is in.
    if (mosquitto_disconnect(m_mosq) == MOSQ_ERR_SUCCESS) {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(500), [this] { return !m_connected; });
    }
    {
        std::lock_guard lock(m_mutex);
        m_networkStop = true;
        m_cv.notify_all();
    }
    if (m_network.joinable())
        m_network.join();
    size_t left = 0;
    uint64_t droppedUntold = 0;
    {
        std::lock_guard lock(m_mutex);
        left = m_queue.size() + (m_outstanding > 0 ? m_outstanding : 0);
        m_queue.clear();
        // Drops are otherwise counted when the broker is back; it may never be.
        droppedUntold = m_stats.dropped - m_droppedReported;
        m_droppedReported = m_stats.dropped;
    }
    if (droppedUntold > 0)
        note("MQTT: " + std::to_string(droppedUntold) +
             " events were dropped while the broker could not be reached "
             "(queue of " +
             std::to_string(m_options.queueLimit) + " full)");
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    return left;
}

MqttPublisher::Stats MqttPublisher::stats() const
{
    std::lock_guard lock(m_mutex);
    Stats s = m_stats;
    s.connected = m_connected;
    return s;
}

} // namespace velkor
