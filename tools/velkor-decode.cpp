// velkor-decode: the decoder bank without the dialog. Decodes a file, standard input or
// live capture and prints what the decoders post: log lines, or every event as JSON;
// with --mqtt it also publishes every event to an MQTT broker.

#include "audio/FileSource.h"
#include "audio/PortAudioSource.h"
#include "bank/DecoderBank.h"
#include "events/EventPrinter.h"
#include "events/EventTime.h"
#include "events/MqttPublisher.h"
#include "profile/MotorolaPlanText.h"
#include "tools/MqttCli.h"
#include "tools/ToolCli.h"

#include <CLI/CLI.hpp>

#include <pthread.h>
#include <signal.h>

#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

using namespace velkor;

namespace {
constexpr int kExitUndelivered = 1;
constexpr int kExitBadInput = 2;
constexpr unsigned kDefaultCaptureRate = 48000;

constexpr const char* kHelpFooter = R"(Examples:
  velkor-decode samples/demo.wav
  rtl_fm -M fm -s 48000 -f 420.0125M | velkor-decode --rate 48000 -
  velkor-decode --capture --events --mqtt localhost

Exit status:
  0  the input was decoded to its end, or capture was ended by SIGINT or SIGTERM
  1  events could not be delivered to the MQTT broker
  2  bad input or usage: a missing, unreadable or truncated file, not audio, more
     than one channel without --channel, raw input without --rate, a capture
     device that does not exist or went away)";

void complain(const std::string& text)
{
    std::fflush(stdout);
    std::fprintf(stderr, "velkor-decode: %s\n", text.c_str());
}

void reportOverflow(uint64_t lostSamples, uint64_t deviceOverflows)
{
    if (lostSamples)
        std::fprintf(stderr, "velkor-decode: audio input overflow: decoding fell behind, %" PRIu64 " samples lost\n",
                     lostSamples);
    if (deviceOverflows)
        std::fprintf(stderr, "velkor-decode: audio input overflow: the capture device dropped audio (%" PRIu64 "x)\n",
                     deviceOverflows);
}

// Where every event goes: standard output, and the broker when there is one.
struct Outputs {
    bool events = false;
    velkor::Deemphasis deemphasis = velkor::Deemphasis::Auto;
    MotorolaPlans plans; // for every system the recording announces
    std::unique_ptr<MqttPublisher> mqtt;

    void connect(EventPrinter& printer) const
    {
        if (MqttPublisher* publisher = mqtt.get())
            printer.setJsonListener(
                [publisher](uint32_t code, const std::string& json) { publisher->publish(code, json); });
    }
    // What the broker has not taken within a few seconds is lost; say so.
    int finish() const
    {
        if (!mqtt)
            return 0;
        const size_t left = mqtt->shutdown();
        if (left == 0)
            return 0;
        complain("MQTT: " + std::to_string(left) + " events could not be delivered to " + mqtt->where());
        return kExitUndelivered;
    }
};

// A file that starts like a WAV file (RIFF or RF64 ... WAVE) is not raw PCM, whatever
// --rate says; its header would otherwise be decoded as samples.
bool hasWavHeader(const std::string& path)
{
    if (path == "-")
        return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    const std::string_view text(head, got);
    return got == sizeof head && (text.substr(0, 4) == "RIFF" || text.substr(0, 4) == "RF64") &&
        text.substr(8, 4) == "WAVE";
}

int decodeFile(const std::string& path, std::optional<int> rate, std::optional<int> channel,
               std::optional<CaptureTime> startTime, const Outputs& outputs)
{
    const bool wav = rate && hasWavHeader(path);
    auto source = std::make_unique<FileSource>(path, wav ? std::nullopt : rate, channel);
    if (wav)
        complain("warning: " + path + " is a WAV file; decoding it at its header's rate of " +
                 std::to_string(source->sampleRate()) + " Hz, not --rate " + std::to_string(*rate));
    if (startTime)
        source->setStartTime(*startTime);
    const unsigned sampleRate = source->sampleRate();
    EventPrinter printer(stdout, outputs.events);
    outputs.connect(printer);

    std::mutex mutex;
    std::condition_variable cv;
    std::optional<velkor::Status> end;
    DecoderBank::SourceEvents sourceEvents;
    sourceEvents.ended = [&](const velkor::Status& ended) {
        std::lock_guard lock(mutex);
        end = ended;
        cv.notify_one();
    };
    sourceEvents.overflow = reportOverflow;
    DecoderBank bank(&printer, sampleRate, std::move(source), sourceEvents, outputs.deemphasis, outputs.plans);
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return end.has_value(); });
    if (!end->ok())
        throw AudioInputError(end->error());
    return outputs.finish();
}

// Live capture until SIGINT or SIGTERM. The signals are blocked in every thread and
// taken by sigwait here, so that the bank is stopped and destroyed on this thread, in
// order, and never from a signal handler.
int capture(const std::string& device, unsigned rate, const Outputs& outputs)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1); // the source ended by itself
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    EventPrinter printer(stdout, outputs.events);
    outputs.connect(printer);
    const pthread_t mainThread = pthread_self();
    std::mutex mutex;
    std::string endError = "capture ended";
    DecoderBank::SourceEvents sourceEvents;
    sourceEvents.ended = [&](const velkor::Status& end) {
        {
            std::lock_guard lock(mutex);
            if (!end)
                endError = end.error();
        }
        pthread_kill(mainThread, SIGUSR1);
    };
    sourceEvents.overflow = reportOverflow;
    DecoderBank bank(&printer, rate, std::make_unique<PortAudioSource>(device), sourceEvents, outputs.deemphasis,
                     outputs.plans);
    std::fprintf(stderr, "velkor-decode: capturing from \"%s\" at %u Hz until interrupted\n",
                 bank.source()->name().c_str(), rate);

    int signal = 0;
    sigwait(&signals, &signal);
    if (signal == SIGUSR1) {
        // The device is gone. PortAudio may never give back a stream whose connection
        // died (its thread can keep polling it), so we do not wait for it to let go:
        // the decoding thread has already left the decoders, and every line printed
        // so far is flushed.
        std::lock_guard lock(mutex);
        complain(endError);
        std::fflush(stderr);
        std::_Exit(kExitBadInput);
    }
    bank.Stop();
    return outputs.finish();
}

int listDevices()
{
    const auto found = PortAudioSource::captureDevices();
    if (!found) {
        complain(found.error());
        return kExitBadInput;
    }
    const auto& devices = *found;
    if (devices.empty()) {
        complain("no capture devices found (no sound card, or no audio server running)");
        return kExitBadInput;
    }
    for (const auto& d : devices)
        std::printf("%s (%s, %d channel%s, %.0f Hz%s)\n", d.name.c_str(), d.hostApi.c_str(), d.inputChannels,
                    d.inputChannels == 1 ? "" : "s", d.defaultRate, d.isDefault ? ", default" : "");
    return 0;
}
// Bad input: one message and its exit status.
int refuse(const std::string& what)
{
    complain(what);
    return kExitBadInput;
}

// --motorola-bandplan and --motorola-rows: the plan of whatever system the recording
// announces.
struct PlanCli {
    std::string name;
    std::string rows;

    void add(CLI::App& app)
    {
        app.add_option("--motorola-bandplan", name,
                       "Motorola band plan of the recorded system: 800-standard, 800-splinter, 800-rebanded, 900 "
                       "or obt");
        app.add_option("--motorola-rows", rows, "rows of an obt plan: BASE_MHZ/SPACING_KHZ/OFFSET,... (up to 8)");
    }

    velkor::Result<MotorolaPlans> plans() const
    {
        auto plan = parseMotorolaPlanName(name);
        if (!plan)
            return velkor::fail("--motorola-bandplan " + name + ": " + plan.error());
        auto parsed = parseMotorolaRows(rows);
        if (!parsed)
            return velkor::fail("--motorola-rows " + rows + ": " + parsed.error());
        if (!parsed->empty() && plan->kind != MotorolaPlanKind::Obt)
            return velkor::fail("--motorola-rows: rows belong to the obt plan, not " + name);
        plan->rows = std::move(*parsed);
        MotorolaPlans plans;
        if (plan->kind != MotorolaPlanKind::Obt || !plan->rows.empty())
            plans[motorola_plan::kAnySystem] = std::move(*plan);
        return plans;
    }
};
} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Decodes NMT-450, MPT 1327 and Motorola control-channel audio from a file, standard input or "
                 "a capture device and prints the log lines."};
    std::optional<int> rate;
    std::optional<int> channel;
    bool events = false;
    bool captureMode = false;
    bool list = false;
    std::string device;
    std::string input = "-";
    std::string startTimeText;
    std::string deemphasis = "auto";
    MqttCli mqtt;
    app.add_option("--rate", rate, "sample rate of raw signed 16-bit little-endian input, or of capture (Hz)")
        ->check(wholeNumber())
        ->check(
            CLI::Range(static_cast<int>(DecoderBank::kMinSampleRate), static_cast<int>(DecoderBank::kMaxSampleRate)));
    auto* channelOption = app.add_option("--channel", channel, "channel N (from 1) of a multi-channel file")
                              ->check(wholeNumber())
                              ->check(CLI::Range(1, 1024));
    app.add_flag("--events", events, "print every event as a JSON object");
    auto* captureOption =
        app.add_flag("--capture", captureMode, "decode live from the capture device until interrupted");
    app.add_option("--device", device, "capture device name (default: the default input)")->needs(captureOption);
    auto* listOption = app.add_flag("--list-devices", list, "print the capture devices and exit");
    auto* fileOption = app.add_option("file", input,
                                      "audio file (WAV, FLAC, OGG, MP3 or raw); - or nothing reads "
                                      "standard input");
    auto* startOption = app.add_option("--start-time", startTimeText,
                                       "when the recording began (YYYY-MM-DDTHH:MM:SS[.mmm], Z or +HH:MM for UTC "
                                       "or an offset, else local time); default: the file's time less its length");
    app.add_option("--deemphasis", deemphasis,
                   "equalise de-emphasised audio (a speaker or line output) for Motorola: auto, on or off")
        ->check(CLI::IsMember({"auto", "on", "off"}))
        ->default_str("auto");
    PlanCli plan;
    plan.add(app);
    captureOption->excludes(fileOption)->excludes(channelOption)->excludes(listOption)->excludes(startOption);
    mqtt.add(app);
    setupTool(app, "velkor-decode", kHelpFooter);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "velkor-decode: %s\n", e.what());
        return kExitBadInput;
    }

    std::optional<CaptureTime> startTime;
    if (!startTimeText.empty()) {
        const auto parsed = parseEventTime(startTimeText);
        if (!parsed)
            return refuse("--start-time: " + parsed.error());
        startTime = *parsed;
    }
    Outputs outputs;
    outputs.events = events;
    outputs.deemphasis = velkor::parseDeemphasis(deemphasis).value_or(velkor::Deemphasis::Auto);
    auto plans = plan.plans();
    if (!plans)
        return refuse(plans.error());
    outputs.plans = std::move(*plans);
    static velkor::StderrNotices notices("velkor-decode: ");
    auto publisher = mqtt.publisher(notices);
    if (!publisher) {
        complain("--mqtt: " + publisher.error());
        return kExitBadInput;
    }
    outputs.mqtt = std::move(*publisher);

    try {
        if (list)
            return listDevices();
        if (captureMode)
            return capture(device, rate ? static_cast<unsigned>(*rate) : kDefaultCaptureRate, outputs);
        return decodeFile(input, rate, channel, startTime, outputs);
    } catch (const std::exception& e) {
        complain(e.what());
        return kExitBadInput;
    }
}
