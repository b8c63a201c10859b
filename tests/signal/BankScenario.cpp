#include "signal/BankScenario.h"

#include "signal/DemoScenario.h"

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

    // TODO(moto): a Motorola section goes here, first.

    FfskOptions ffskOptions;
    ffskOptions.rate = rate;
    const Samples mpt = ffsk(mptgen::demoControlChannel().bits, ffskOptions);
    audio.insert(audio.end(), mpt.begin(), mpt.end());
    appendSilence(audio, rate, 0.2);

    // TODO(nmt): an NMT-450 section goes here, last.

    addNoise(audio, snrDb, 4501);
    return toPcm16(audio);
}

} // namespace testsignal
