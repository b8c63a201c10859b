// velkor-decode: the decoders without the dialog. Reads audio from a file or standard
// input and prints what the decoders post: log lines, or every event as JSON.

#include "cmdwnd/MessageBox.h"
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"
#include "dsp/SoundFileReader.h"
#include "tools/EventPrinter.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>
#include <vector>

namespace {
constexpr int kExitBadInput = 2;

int decode(const std::string& path, std::optional<int> rate, bool events)
{
    SoundFileReader reader(path, rate);
    EventPrinter printer(stdout, events);
    // The same order as the dialog's decoder bank: NMT-450, MPT 1327, Motorola.
    CNMT450 nmt450(&printer, reader.sampleRate());
    CMPT1327 mpt1327(&printer, reader.sampleRate());
    CMotorola motorola(&printer, reader.sampleRate());

    // Blocks of one twentieth of a second, as the capture device delivers them.
    std::vector<int16_t> block(static_cast<size_t>(reader.sampleRate() / 20 > 0 ? reader.sampleRate() / 20 : 1));
    // Every decoder sees every block, in a fixed order, so that the events of one
    // block come out in the same order as in the dialog.
    while (const size_t got = reader.read(block.data(), block.size())) {
        nmt450.ProcessSamples(block.data(), static_cast<unsigned>(got));
        mpt1327.ProcessSamples(block.data(), static_cast<unsigned>(got));
        motorola.ProcessSamples(block.data(), static_cast<unsigned>(got));
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Decodes NMT-450, MPT 1327 and Motorola control-channel audio and prints the log lines."};
    std::optional<int> rate;
    bool events = false;
    std::string input = "-";
    app.add_option("--rate", rate, "sample rate of raw signed 16-bit little-endian input (Hz)")
        ->check(CLI::Range(1000, 1000000));
    app.add_flag("--events", events, "print every event as a JSON object");
    app.add_option("file", input, "WAV or raw audio file; - or nothing reads standard input");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "velkor-decode: %s\n", e.what());
        return kExitBadInput;
    }

    setMessageBoxFunction([](const std::string& text) { std::fprintf(stderr, "velkor-decode: %s\n", text.c_str()); });
    try {
        return decode(input, rate, events);
    } catch (const AudioInputError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "velkor-decode: %s\n", e.what());
        return kExitBadInput;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "velkor-decode: %s\n", e.what());
        return kExitBadInput;
    }
}
