// Any bit stream straight into a decoder's bit entry, past the demodulator: the
// framing, error correction and message interpretation see every pattern, not only
// those a demodulator lets through. The first byte picks the decoder; every further
// byte gives eight bits, most significant first.
#include "CheckingSink.h"
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"

using namespace velkor;

namespace {

template <typename Decoder> void feed(const uint8_t* data, size_t size)
{
    CheckingSink sink;
    Decoder decoder(&sink, 48000);
    for (size_t i = 0; i < size; ++i)
        for (int b = 7; b >= 0; --b)
            decoder.ProcessBit(((data[i] >> b) & 1) != 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    switch (data[0] % 3) {
    case 0:
        feed<CMPT1327>(data + 1, size - 1);
        break;
    case 1:
        feed<CNMT450>(data + 1, size - 1);
        break;
    default:
        feed<CMotorola>(data + 1, size - 1);
        break;
    }
    return 0;
}
