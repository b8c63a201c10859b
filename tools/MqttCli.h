// The --mqtt options velkor-decode and velkor-track share, and the publisher they make.
#pragma once

#include "events/MqttPublisher.h"

#include "tools/ToolCli.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

namespace velkor {

struct MqttCli {
    std::string address;
    std::string passwordFile;
    mqtt_options_s options;

    void add(CLI::App& app)
    {
        auto* mqtt = app.add_option("--mqtt", address,
                                    "publish every event to the MQTT broker at HOST[:PORT] "
                                    "(port 1883 unless given)");
        app.add_option("--mqtt-topic", options.baseTopic,
                       "base topic: events go to BASE/<cmd>, the status to "
                       "BASE/status")
            ->capture_default_str()
            ->needs(mqtt);
        app.add_option("--mqtt-user", options.user, "user name at the broker")->needs(mqtt);
        app.add_option("--mqtt-password-file", passwordFile, "file whose first line is the password")->needs(mqtt);
        app.add_option("--mqtt-cafile", options.cafile, "TLS: the CA certificate (PEM) that signed the broker's")
            ->needs(mqtt);
        app.add_option("--mqtt-capath", options.capath, "TLS: a directory of CA certificates")->needs(mqtt);
        app.add_option("--mqtt-cert", options.certfile, "TLS: this client's certificate (PEM)")->needs(mqtt);
        app.add_option("--mqtt-key", options.keyfile, "TLS: this client's key (PEM, not encrypted)")->needs(mqtt);
        app.add_flag("--mqtt-insecure", options.tlsInsecure, "TLS: do not check the broker's host name")->needs(mqtt);
        app.add_option("--mqtt-queue", options.queueLimit, "events kept while the broker cannot be reached")
            ->capture_default_str()
            ->check(wholeNumber())
            ->check(CLI::Range(1, 10000000))
            ->needs(mqtt);
    }

    // Null without --mqtt; a failure for options that cannot work.
    velkor::Result<std::unique_ptr<MqttPublisher>> publisher(velkor::Notices& notices)
    {
        if (address.empty())
            return std::unique_ptr<MqttPublisher>();
        const auto broker = parseMqttAddress(address);
        if (!broker)
            return velkor::fail(broker.error());
        options.host = broker->host;
        options.port = broker->port;
        if (!passwordFile.empty()) {
            auto password = readPasswordFile(passwordFile);
            if (!password)
                return velkor::fail(password.error());
            options.password = std::move(*password);
        }
        try {
            return std::make_unique<MqttPublisher>(options, notices);
        } catch (const MqttError& e) {
            return velkor::fail(e.what());
        }
    }
};

} // namespace velkor
