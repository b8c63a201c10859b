#include "signal/CallScenario.h"

namespace testsignal {

CallRecording callRecording(int calls, double leadSeconds, int rate)
{
    constexpr int kPreamble = 32;
    constexpr int kSlotBits = 3 * 64;
    mptgen::ControlChannel cc(0x0089, kPreamble);
    CallRecording r;
    r.rate = rate;
    for (int s = 0; s < calls; ++s) {
        cc.slot(mptgen::goToChannel(1, 100 + static_cast<unsigned>(s), 200, static_cast<unsigned>(s) + 1));
        r.callEnds.push_back(leadSeconds + (kPreamble + kSlotBits * (s + 1)) / 1200.0);
    }
    FfskOptions o;
    o.rate = rate;
    o.leadSeconds = leadSeconds;
    o.tailSeconds = 0.3;
    auto samples = ffsk(cc.bits, o);
    addNoise(samples, 25.0, 11);
    r.pcm = toPcm16(samples);
    return r;
}

} // namespace testsignal
