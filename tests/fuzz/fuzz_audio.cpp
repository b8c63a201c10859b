// Any bytes as captured audio (signed 16-bit little-endian samples) into the decoder
// bank, without a device: the bank's own capture blocks of a twentieth of a second,
// each one to NMT-450, MPT 1327 and Motorola in turn. The first byte picks the sample
// rate; an odd byte at the end is handed on as the odd byte of a block.
#include "CheckingSink.h"
#include "bank/DecoderBank.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static constexpr unsigned kRates[] = {8000, 11025, 22050, 44100, 48000};
    if (size < 1)
        return 0;
    const unsigned rate = kRates[data[0] % std::size(kRates)];
    CheckingSink sink;
    DecoderBank bank(&sink, rate, nullptr);
    // The input is cut into capture buffers of the bank's size (an odd number of bytes
    // at some rates); each buffer holds its samples in the machine's own byte order.
    const size_t blockBytes = DecoderBank::BufferBytes(rate);
    std::vector<int16_t> buffer((blockBytes + 1) / 2);
    for (size_t at = 1; at < size; at += blockBytes) {
        const size_t n = std::min(blockBytes, size - at);
        std::memcpy(buffer.data(), data + at, n);
        bank.FeedBlock(buffer.data(), n);
    }
    bank.Stop();
    return 0;
}
