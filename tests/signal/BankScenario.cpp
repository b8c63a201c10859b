#include "signal/BankScenario.h"

#include "signal/DemoScenario.h"
#include "signal/MotorolaGen.h"
#include "signal/Nmt450Gen.h"
#include "signal/Nrz.h"

namespace testsignal {

namespace {
void appendSilence(Samples& out, int rate, double seconds)
{
    out.insert(out.end(), static_cast<size_t>(seconds * rate), 0.0);
}
} // namespace

std::vector<int16_t> bankRecording(int rate, double snrDb)
{
    Samples audio;
    appendSilence(audio, rate, 0.2);

    using namespace motogen;
    const auto words = systemAnnouncement(0x5A5, 0x2800 + 3) +
        std::vector<Word>{radio(77), site(2), grant(1500, 451), radio(78), idle()};
    NrzOptions nrzOptions;
    nrzOptions.rate = rate;
    nrzOptions.gaussianBt = 0.5;
    const Samples moto = nrz(stream(words), nrzOptions);
    audio.insert(audio.end(), moto.begin(), moto.end());
    appendSilence(audio, rate, 0.2);

    FfskOptions ffskOptions;
    ffskOptions.rate = rate;
    const Samples mpt = ffsk(mptgen::demoControlChannel().bits, ffskOptions);
    audio.insert(audio.end(), mpt.begin(), mpt.end());
    appendSilence(audio, rate, 0.2);

    Bits nmt;
    nmtgen::append(nmt, nmtgen::fromHex("201461eb00028000")); // calling channel indication
    nmtgen::append(nmt, nmtgen::fromHex("201f61f000d00000")); // channel activation order
    const Samples nmtAudio = ffsk(nmt, ffskOptions);
    audio.insert(audio.end(), nmtAudio.begin(), nmtAudio.end());
    appendSilence(audio, rate, 0.2);

    addNoise(audio, snrDb, 4501);
    return toPcm16(audio);
}

} // namespace testsignal
