#include "signal/Feed.h"

#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"

using namespace velkor;

namespace testsignal {

unsigned long decodeAsTheBank(RecordingSink& sink, const std::vector<int16_t>& pcm, int rate, size_t skip)
{
    CNMT450 nmt(&sink, rate);
    CMPT1327 mpt(&sink, rate);
    CMotorola motorola(&sink, rate);
    feedCapture(pcm, rate, skip, nmt, mpt, motorola);
    return nmt.acceptedFrames();
}

std::string bitString(const Bits& bits)
{
    std::string s;
    for (uint8_t b : bits)
        s += b ? '1' : '0';
    return s;
}

} // namespace testsignal
