// Any bytes as captured audio (signed 16-bit little-endian samples) into the three
// decoders, fed in capture blocks of a twentieth of a second in the order the decoder
// bank feeds them. The first byte picks the sample rate.
#include "CheckingSink.h"
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static constexpr int kRates[] = {8000, 11025, 22050, 44100, 48000};
    if (size < 1)
        return 0;
    const int rate = kRates[data[0] % std::size(kRates)];
    std::vector<int16_t> pcm((size - 1) / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));

    CheckingSink sink;
    CNMT450 nmt(&sink, rate);
    CMPT1327 mpt(&sink, rate);
    CMotorola motorola(&sink, rate);
    const size_t block = static_cast<size_t>(rate / 20);
    for (size_t at = 0; at < pcm.size(); at += block) {
        const auto n = static_cast<unsigned>(std::min(block, pcm.size() - at));
        nmt.ProcessSamples(pcm.data() + at, n);
        mpt.ProcessSamples(pcm.data() + at, n);
        motorola.ProcessSamples(pcm.data() + at, n);
    }
    return 0;
}
