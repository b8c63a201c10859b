// velkor-scanner: one receiver operation from the command line, to check a scanner
// and its cable (or a Hamlib rigctl server) before tracking. The driver is built,
// initialised and destroyed as the dialog program does it (so a borrowed bank tag goes
// back to the scanner); the program's log texts go to standard error, the result to
// standard output.
//
// Exit status: 0 the operation succeeded; 1 the scanner refused, stayed silent or
// failed to initialise; 2 a usage or port error.

#include "profile/VelkorConfig.h"
#include "receiver/ReceiverFactory.h"
#include "receiver/RigctlLink.h"
#include "tools/ToolCli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

using namespace velkor;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

constexpr const char* kHelpFooter = R"(Files:
  velkor.ini  in the current directory: [serial] comN names the device of COM port
              N, [rigctl] server the default server of a network type

Examples:
  velkor-scanner --port 1 init
  velkor-scanner --device /dev/ttyUSB0 tune 420.0125 --narrow
  velkor-scanner --type 3 --server localhost:4532 freq

Exit status:
  0  the operation succeeded
  1  the scanner refused, stayed silent or failed to initialise
  2  a usage or port error)";

bool knownType(unsigned type)
{
    const auto& models = receiverModels();
    return std::any_of(models.begin(), models.end(), [type](const receiver_model_s& m) { return m.type == type; });
}

struct Options {
    unsigned type = 0;
    std::optional<int> port;
    std::optional<std::string> device;
    std::optional<std::string> server;
    uint32_t memory = 0;
    unsigned timeoutMs = 0; // the driver's own
    double mhz = 0.0;
    bool narrow = false;
    std::string text;
    std::optional<std::string> text2;
    int level = 0;
    std::string command; // the subcommand's name
};

bool network(const Options& o)
{
    return receiverModel(o.type).network;
}

std::string where(const Options& o)
{
    if (network(o))
        return "server " + o.server.value_or("");
    return o.device ? *o.device : "serial port " + std::to_string(*o.port);
}

// The driver the program would build for these settings. A COM port number names its
// device through velkor.ini [serial] in the current directory, as in the program.
std::unique_ptr<CReceiverCtrl> build(const Options& o, std::string* name)
{
    receiver_params_s params;
    params.type = o.type;
    params.memory = o.memory;
    params.readTimeoutMs = o.timeoutMs;
    if (network(o)) {
        params.server = *o.server;
        static velkor::StderrNotices notices;
        params.notices = &notices;
    } else if (o.device) {
        params.device = *o.device;
    } else {
        auto device = VelkorConfig::comPortDevice(*o.port);
        if (!device)
            throw SerialPortError(device.error());
        params.device = std::move(*device);
    }
    *name = receiverModel(o.type).name;
    return makeReceiver(params);
}

int report(bool ok)
{
    std::puts(ok ? "OK" : "FAILED");
    return ok ? kExitOk : kExitRefused;
}

// The command line; the exit status when the program ends here.
std::optional<int> parseOptions(int argc, char** argv, Options& o)
{
    CLI::App app{"Runs one receiver operation on a Uniden scanner or a Hamlib rigctl server, to check it."};
    app.require_subcommand(1);
    std::string types = "receiver type:";
    for (const receiver_model_s& m : receiverModels())
        types += " " + std::to_string(m.type) + " " + m.listText + (&m == &receiverModels().back() ? "" : ",");
    app.add_option("--type", o.type, types)->check(wholeNumber());
    auto* port =
        app.add_option("--port", o.port, "COM port number (device from velkor.ini [serial] comN, else /dev/ttyS(N-1))")
            ->check(wholeNumber());
    auto* device = app.add_option("--device", o.device, "serial device path, e.g. /dev/ttyUSB0");
    port->excludes(device);
    auto* server = app.add_option(
        "--server", o.server, "Hamlib rigctl server HOST:PORT of a network type (default: velkor.ini [rigctl] server)");
    server->excludes(port)->excludes(device);
    app.add_option("--memory", o.memory, "memory channel the program may overwrite (0: tune directly)")
        ->check(wholeNumber());
    app.add_option("--timeout", o.timeoutMs, "time-out in ms of each reply line (serial) or each operation (network)")
        ->check(wholeNumber())
        ->check(CLI::Range(1u, 60000u));

    app.add_subcommand("init", "initialise the receiver and check that it answers (its frequency)");
    auto* tune = app.add_subcommand("tune", "tune to a frequency");
    tune->add_option("mhz", o.mhz, "frequency in MHz")
        ->required()
        ->check(anyNumber())
        ->check(CLI::Range(0.0001, 9999.9999));
    tune->add_flag("--narrow", o.narrow, "narrow FM");
    app.add_subcommand("freq", "print the frequency the scanner reports");
    app.add_subcommand("squelch", "print whether the squelch is open");
    app.add_subcommand("scan", "start scanning");
    auto* text = app.add_subcommand("text", "write the memory channel's text tag");
    text->add_option("text", o.text, "text")->required();
    auto* text2 = app.add_subcommand("text2", "write the bank's text tag; without TEXT put back the scanner's own");
    text2->add_option("text", o.text2, "text");
    auto* backlight = app.add_subcommand("backlight", "set the backlight");
    backlight->add_option("level", o.level, "0 full, 1 dimmed, 2 off")
        ->required()
        ->check(wholeNumber())
        ->check(CLI::Range(0, 2));

    setupTool(app, "velkor-scanner", kHelpFooter);
    try {
        app.parse(argc, argv);
        if (!knownType(o.type))
            throw CLI::ValidationError("--type", std::to_string(o.type) + " is not a receiver type");
        if (network(o) && (o.port || o.device))
            throw CLI::ValidationError("--type " + std::to_string(o.type),
                                       "a network receiver takes --server, not a port");
        if (!network(o) && o.server)
            throw CLI::ValidationError("--server", "only for a network receiver type");
        if (!network(o) && !o.port && !o.device)
            throw CLI::RequiredError("--port or --device");
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "velkor-scanner: %s\n", e.what());
        return kExitUsage;
    }
    o.command = app.get_subcommands().front()->get_name();
    if (network(o) && !o.server) {
        const auto config = VelkorConfig::load();
        if (!config) {
            std::fprintf(stderr, "velkor-scanner: %s\n", config.error().c_str());
            return kExitUsage;
        }
        o.server = config->settings().rigctl_server;
    }
    return std::nullopt;
}

// Builds and initialises the receiver, saying so on standard error; the exit status
// when that fails.
std::optional<int> startReceiver(const Options& o, std::unique_ptr<CReceiverCtrl>& receiver)
{
    std::string name;
    try {
        receiver = build(o, &name);
    } catch (const SerialPortError& e) {
        std::fprintf(stderr, "ERROR initializing receiver on %s: %s\n%s\n", where(o).c_str(), e.what(),
                     e.reason().c_str());
        return kExitUsage;
    } catch (const RigctlServerError& e) {
        std::fprintf(stderr, "ERROR initializing receiver on %s: %s (%s)\n", where(o).c_str(), e.what(),
                     e.reason().c_str());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ERROR initializing receiver on %s.\n%s\n", where(o).c_str(), e.what());
        return kExitUsage;
    }
    if (!receiver->initialize()) {
        receiver.reset();
        std::fprintf(stderr, "Initialization of receiver failed!\n");
        return kExitRefused;
    }
    if (const std::string why = receiver->failure(); !why.empty()) {
        std::fprintf(stderr, "ERROR initializing receiver on %s: %s\n", where(o).c_str(), why.c_str());
        return report(false);
    }
    std::fprintf(stderr, "Initialized %s on %s.\n", name.c_str(), where(o).c_str());
    return std::nullopt;
}

// Runs the operation with the receiver alive; the result is printed after it is
// destroyed, so that everything the destructor sends has gone out.
int runCommand(const Options& o, std::unique_ptr<CReceiverCtrl> receiver)
{
    const std::string& command = o.command;
    int ok = 0;
    double mhz = 0.0;
    if (command == "init")
        ok = receiver->getFrequency() != 0.0; // nothing on the port answers nothing
    else if (command == "tune")
        ok = receiver->setFrequency(o.mhz, o.narrow ? 1 : 0);
    else if (command == "freq")
        ok = (mhz = receiver->getFrequency()) != 0.0;
    else if (command == "squelch")
        ok = receiver->isSquelchOpen();
    else if (command == "scan")
        ok = receiver->startScan();
    else if (command == "text")
        ok = receiver->setText(o.text.c_str());
    else if (command == "text2")
        ok = receiver->setText2(o.text2 ? o.text2->c_str() : nullptr);
    else if (command == "backlight")
        ok = receiver->setBacklight(o.level);
    receiver.reset();

    if (command == "squelch") {
        // A silent scanner also reads as closed; there is no third answer.
        std::puts(ok ? "open" : "closed");
        return kExitOk;
    }
    if (command == "freq") {
        if (!ok)
            return report(false);
        std::printf("%.4f\n", mhz);
        return kExitOk;
    }
    if ((command == "text" || command == "text2") && !ok && receiverModel(o.type).usesMemory && o.memory == 0)
        std::fprintf(stderr, "velkor-scanner: display texts need a memory channel (--memory)\n");
    return report(ok != 0);
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const std::optional<int> done = parseOptions(argc, argv, o))
        return *done;
    std::unique_ptr<CReceiverCtrl> receiver;
    if (const std::optional<int> failed = startReceiver(o, receiver))
        return *failed;
    return runCommand(o, std::move(receiver));
}
