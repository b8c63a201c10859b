// Publishes events to an MQTT broker (libmosquitto): each event's JSON to
// BASE/<command in lower case> at QoS 1, and BASE/status, retained: "online" once
// connected, "offline" when the program ends, and "offline" as the broker's last will,
// so that a subscriber sees a tracker that died.
//
// Decoding never waits for the broker. publish() only puts the message into a bounded
// queue of our own; a thread of ours hands it to libmosquitto while the client is
// connected, and a network thread of ours runs libmosquitto's loop, reconnecting with
// back-off when the broker goes away. (libmosquitto's own thread is not used: stopping
// it can wait for minutes while it connects or reconnects.) While the broker cannot be
// reached the queue fills; a full queue drops its oldest message, and the drops are
// counted and told as a note. Messages that libmosquitto holds
// unacknowledged when a connection breaks are sent again on the next one.
#pragma once

#include "notify/Notices.h"
#include "notify/Result.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

struct mosquitto;

namespace velkor {

// Options that the publisher cannot be built with (a TLS file that cannot be read).
class MqttError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct mqtt_options_s {
    std::string host;
    int port = 1883;
    std::string baseTopic = "velkor";
    std::string user;                    // empty: no user name
    std::optional<std::string> password; // only with a user
    // TLS: on when cafile or capath is set.
    std::string cafile;
    std::string capath;
    std::string certfile;
    std::string keyfile;
    bool tlsInsecure = false; // do not check the broker's host name
    std::string clientId;     // empty: velkor-<host name>-<process id>
    size_t queueLimit = 10000;
    int keepaliveSeconds = 30;
};

struct mqtt_address_s {
    std::string host;
    int port = 1883;
};

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT" into host and port (default 1883).
velkor::Result<mqtt_address_s> parseMqttAddress(const std::string& text);
// The first line of a password file.
velkor::Result<std::string> readPasswordFile(const std::string& path);
// A base topic without a trailing '/', checked.
velkor::Result<std::string> checkedBaseTopic(const std::string& base);

class MqttPublisher {
public:
    // Checks the options and starts connecting in the background; the broker need not
    // be up. Throws MqttError for options that cannot work. Connected, lost and
    // dropped messages are noted on the publisher's threads, which notices must not
    // block for long.
    MqttPublisher(mqtt_options_s options, velkor::Notices& notices);
    // shutdown() with its default time.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // From any thread, never blocking beyond a short lock: queues the event's JSON
    // for BASE/<command>.
    void publish(uint32_t code, const std::string& json);
    void publish(std::string topic, std::string payload);

    // Delivers what is queued while the broker takes it, for at most limit, then sets
    // the status to "offline" and disconnects. Returns how many messages were not
    // delivered. Safe to call more than once.
    size_t shutdown(std::chrono::milliseconds limit = std::chrono::seconds(5));

    struct Stats {
        uint64_t queued = 0;    // messages given to publish()
        uint64_t delivered = 0; // acknowledged by the broker
        uint64_t dropped = 0;   // dropped from a full queue
        bool connected = false;
    };
    Stats stats() const;
    const std::string& baseTopic() const { return m_options.baseTopic; }
    // "host:port" for messages.
    std::string where() const;

private:
    struct Message {
        std::string topic;
        std::string payload;
    };

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    void Connected(int rc);
    void Disconnected(int rc);
    void Acknowledged(int mid);
    void SendingThread();
    void NetworkThread();
    void noteUnreachable(int rc);
    void note(const std::string& line);

    mqtt_options_s m_options;
    velkor::Notices& m_notices;
    mosquitto* m_mosq = nullptr;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Message> m_queue;
    uint64_t m_outstanding = 0; // handed to libmosquitto, not yet acknowledged
    bool m_connected = false;
    bool m_everConnected = false;
    bool m_lostReported = false;
    bool m_refusedReported = false;
    bool m_stopping = false;
    bool m_shutDown = false;    // the sending thread ends
    bool m_networkStop = false; // the network thread ends
    Stats m_stats;
    uint64_t m_droppedReported = 0;
    std::thread m_thread;
    std::thread m_network;
};

} // namespace velkor
