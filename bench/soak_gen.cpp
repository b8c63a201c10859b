// soak-gen: endless control-channel audio for soak runs. Writes raw signed 16-bit
// little-endian mono PCM to standard output: MPT 1327, NMT-450 and Motorola traffic in
// turn, each with call set-ups and clear-downs, the units and channels changing from
// round to round, with a little noise. Stops after the given hours of audio.
//   soak-gen [--hours H] [--rate HZ] | velkor-decode --rate HZ -
#include "signal/Audio.h"
#include "signal/MotorolaGen.h"
#include "signal/Mpt1327Gen.h"
#include "signal/Nmt450Gen.h"
#include "signal/Nrz.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <vector>

namespace {

using testsignal::Bits;
using testsignal::Samples;

Bits mpt1327(unsigned v)
{
    using namespace mptgen;
    ControlChannel cc(static_cast<uint16_t>(0x0089 + v % 3), 32);
    const unsigned fleet = 1 + v % 5;
    const unsigned caller = 100 + v;
    const unsigned called = 200 + v;
    const unsigned channel = 2 + v % 20;
    cc.slot(misc(0, 1));
    cc.slot(message(fleet, caller, 0, 2, 0, (called << 5) | 0x10)); // RQS
    cc.slot(message(fleet, caller, 0, 2, 0, (called << 5) | 0x18)); // AHY
    cc.slot(message(fleet, called, 0, 1, 0, caller << 5));          // ACKK
    cc.slot(goToChannel(fleet, caller, called, channel));
    cc.slot(goToChannel(fleet, caller, called, channel));
    cc.slot(message(fleet, 300 + v, 0, 2, 6, ((301 + v) << 5) | 7u)); // status
    cc.slot(clearDown(channel, 1));
    cc.slot(cc.aloha());
    return cc.bits;
}

Bits nmt450(unsigned v)
{
    using namespace nmtgen;
    Bits bits;
    const unsigned channel = 100 + v % 80;
    const unsigned subscriber = 123456 + v * 7;
    append(bits, pack(Message{.ch = 1, .prefix = 3, .ta = 61}));
    append(bits, pack(Message{.ch = 1, .prefix = 12, .ta = 61, .z = 1, .x = subscriber}));
    append(bits, pack(Message{.ch = 1, .prefix = 5, .ta = 61, .z = 1, .x = subscriber, .tail = channelCode(channel)}));
    append(bits, pack(Message{.ch = channel, .prefix = 6, .ta = 61, .z = 1, .x = subscriber, .tail = 0x666}));
    append(bits, pack(Message{.ch = channel, .prefix = 6, .ta = 61, .z = 1, .x = subscriber, .tail = 0xddd}));
    return bits;
}

Bits motorola(unsigned v)
{
    using namespace motogen;
    const auto group = static_cast<uint16_t>(0x0400 + v * 16);
    const auto unit = static_cast<uint16_t>(0x1000 + v);
    const auto channel = static_cast<uint16_t>(0x2D0 + v % 40);
    std::vector<Word> words{systemId(0x2A3), site(3), idle()};
    words = words + affiliation(unit, group);
    words = words + std::vector<Word>{radio(unit), grant(group, channel), grant(group, channel), idle(), idle()};
    return stream(words);
}

std::vector<int16_t> round(unsigned v, int rate)
{
    testsignal::FfskOptions f;
    f.rate = rate;
    f.leadSeconds = 0.1;
    f.tailSeconds = 0.1;
    Samples audio = testsignal::ffsk(mpt1327(v), f);
    const Samples nmt = testsignal::ffsk(nmt450(v), f);
    audio.insert(audio.end(), nmt.begin(), nmt.end());
    testsignal::NrzOptions n;
    n.rate = rate;
    n.gaussianBt = 0.5;
    n.leadSeconds = 0.1;
    n.tailSeconds = 0.1;
    const Samples moto = testsignal::nrz(motorola(v), n);
    audio.insert(audio.end(), moto.begin(), moto.end());
    testsignal::addNoise(audio, 20.0, 1000 + v);
    return testsignal::toPcm16(audio);
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Writes hours of generated control-channel audio (raw s16le mono) to standard output."};
    double hours = 24.0;
    int rate = 48000;
    app.add_option("--hours", hours, "hours of audio")->check(CLI::PositiveNumber);
    app.add_option("--rate", rate, "sample rate (Hz)")->check(CLI::Range(8000, 192000));
    CLI11_PARSE(app, argc, argv);

    // A pool of rounds, each with other units and channels, played in turn.
    constexpr unsigned kRounds = 32;
    std::vector<std::vector<int16_t>> rounds;
    for (unsigned v = 0; v < kRounds; ++v)
        rounds.push_back(round(v, rate));

    auto left = static_cast<uint64_t>(hours * 3600.0 * rate);
    for (unsigned v = 0; left > 0; v = (v + 1) % kRounds) {
        const auto& pcm = rounds[v];
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, pcm.size()));
        if (std::fwrite(pcm.data(), sizeof(int16_t), n, stdout) != n)
            return 1; // the reader has gone
        left -= n;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
