#include "signal/ModemTrial.h"

#include "signal/Feed.h"
#include "signal/Filters.h"
#include "signal/MotorolaGen.h"
#include "signal/Mpt1327Gen.h"
#include "signal/Nmt450Gen.h"
#include "signal/Nrz.h"

#include <cstdio>
#include <set>
#include <stdexcept>

namespace modemtrial {

namespace {

constexpr double kLeadSeconds = 0.01;

struct Signal {
    testsignal::Samples audio;
    std::set<std::string> expected; // exact lines, one per message
};

// The bits at the trial's rate, bit rate error and start phase.
testsignal::Samples ffskAudio(const testsignal::Bits& bits, const Trial& t)
{
    testsignal::FfskOptions options;
    options.rate = t.rate;
    options.baud = 1200.0 * (1.0 + t.rateOffsetPpm * 1e-6) * t.clockFactor;
    options.markHz *= t.clockFactor;
    options.spaceHz *= t.clockFactor;
    options.leadSeconds = kLeadSeconds + t.phase / options.baud;
    return testsignal::ffsk(bits, options);
}

// Go-to-channel messages to distinct units.
Signal mpt1327(const Trial& t)
{
    mptgen::ControlChannel cc(0x0089);
    Signal s;
    for (int m = 0; m < t.messages; ++m) {
        const unsigned unit = 100 + static_cast<unsigned>(m);
        cc.slot(mptgen::goToChannel(1, unit, 8000, 17));
        char line[128];
        std::snprintf(line, sizeof line, "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org: 8000 Tar: %4u ",
                      unit);
        s.expected.insert(line);
    }
    s.audio = ffskAudio(cc.bits, t);
    return s;
}

// Calls to distinct subscribers on the calling channel.
Signal nmt450(const Trial& t)
{
    // A calling channel sends frames back to back; the first one, an idle frame, gives
    // the receiver its bit clock before the messages that count.
    testsignal::Bits bits;
    nmtgen::append(bits, nmtgen::fromHex("201c61eb00028000"));
    Signal s;
    for (int m = 0; m < t.messages; ++m) {
        const nmtgen::Message msg{.ch = 1, .prefix = 12, .ta = 61, .z = 1, .x = 100000 + static_cast<unsigned>(m)};
        nmtgen::append(bits, nmtgen::pack(msg));
        char line[128];
        std::snprintf(line, sizeof line, "CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z( 1) X(%06u)",
                      msg.x);
        s.expected.insert(line);
    }
    s.audio = ffskAudio(bits, t);
    return s;
}

// Voice grants to distinct talkgroups, each after an idle word; a grant is reported
// when the next word that enters the history arrives.
Signal motorola(const Trial& t)
{
    std::vector<motogen::Word> words = {motogen::idle(), motogen::systemId(0x3C1)};
    Signal s;
    for (int m = 0; m < t.messages; ++m) {
        const unsigned group = 100 + static_cast<unsigned>(m);
        words.push_back(motogen::idle());
        words.push_back(motogen::grant(static_cast<uint16_t>(group), 600));
        s.expected.insert("VCALL| Call to " + std::to_string(group) + " from " + std::to_string(group) +
                          " on channel 600");
    }
    // Idle words leave the history alone: a radio's word releases the last grant.
    words.push_back(motogen::radio(1));
    testsignal::NrzOptions options;
    options.rate = t.rate;
    options.baud = 3600.0 * (1.0 + t.rateOffsetPpm * 1e-6) * t.clockFactor;
    options.leadSeconds = kLeadSeconds + t.phase / options.baud;
    options.gaussianBt = 0.5;
    options.tailSeconds = 0.02;
    s.audio = testsignal::nrz(motogen::stream(words), options);
    return s;
}

} // namespace

Protocol protocolFromName(const std::string& name)
{
    if (name == "mpt1327")
        return Protocol::Mpt1327;
    if (name == "nmt450")
        return Protocol::Nmt450;
    if (name == "motorola")
        return Protocol::Motorola;
    throw std::invalid_argument("unknown protocol " + name);
}

int run(const Trial& t)
{
    Signal s = t.protocol == Protocol::Mpt1327 ? mpt1327(t) : t.protocol == Protocol::Nmt450 ? nmt450(t) : motorola(t);
    if (t.deemphasisHz > 0.0)
        testsignal::lowPass1(s.audio, t.rate, t.deemphasisHz);
    if (t.highPassHz > 0.0)
        testsignal::highPass2(s.audio, t.rate, t.highPassHz);
    testsignal::addNoise(s.audio, t.snrDb, t.seed);
    testsignal::addOffset(s.audio, t.dcOffset);
    const auto pcm = testsignal::toPcm16(s.audio);

    testsignal::RecordingSink sink;
    testsignal::decodeAsTheBank(sink, pcm, t.rate);
    int decoded = 0;
    for (const auto& line : sink.lines())
        decoded += static_cast<int>(s.expected.erase(line));
    return decoded;
}

std::vector<int> runOverPhases(Trial trial, int phases)
{
    std::vector<int> decoded;
    for (int p = 0; p < phases; ++p) {
        trial.phase = static_cast<double>(p) / phases;
        trial.seed = static_cast<uint32_t>(1000 + p);
        decoded.push_back(run(trial));
    }
    return decoded;
}

} // namespace modemtrial
