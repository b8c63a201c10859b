// Any bytes as audio into the decoder bank (NMT-450, MPT 1327 and Motorola in turn, a
// twentieth of a second per block), without a device. The first byte says how:
//   0-4 (modulo 8)  raw signed 16-bit little-endian PCM at 8000, 11025, 22050, 44100 or
//                   48000 Hz, read by the program's file reader (SoundFileReader, from
//                   memory) as velkor-decode --rate reads it, block by block as the file
//                   source hands it on;
//   5               capture buffers at one of those rates (chosen by bits 3 and up), cut
//                   to the bank's size, an odd byte at the end handed on as the odd
//                   byte of a block, as a sound card's driver may;
//   6, 7            a sound file of any kind the reader takes (WAV, AIFF, AU, FLAC...)
//                   at its header's rate (one the bank refuses is refused); 7 decodes
//                   channel 1 of several.
// Covers the reader's opening, checking and reading of files (and its refusals), the
// bank's block handling and the three decoders' demodulators and framing.
#include "CheckingSink.h"
#include "audio/SoundFileReader.h"
#include "bank/DecoderBank.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

using namespace velkor;

namespace {

constexpr unsigned kRates[] = {8000, 11025, 22050, 44100, 48000};

void captureBuffers(unsigned rate, const uint8_t* data, size_t size)
{
    CheckingSink sink;
    DecoderBank bank(&sink, rate, nullptr);
    // Each buffer holds its samples in the machine's own byte order.
    const size_t blockBytes = DecoderBank::BufferBytes(rate);
    std::vector<int16_t> buffer((blockBytes + 1) / 2);
    for (size_t at = 0; at < size; at += blockBytes) {
        const size_t n = std::min(blockBytes, size - at);
        std::memcpy(buffer.data(), data + at, n);
        bank.FeedBlock(buffer.data(), n);
    }
    bank.Stop();
}

void readFile(std::string_view bytes, std::optional<int> rawRate, std::optional<int> channel)
{
    std::optional<SoundFileReader> reader;
    try {
        reader.emplace("input", bytes, rawRate, channel);
    } catch (const AudioInputError& e) {
        FUZZ_CHECK(*e.what() != '\0');
        return;
    }
    const auto rate = static_cast<unsigned>(reader->sampleRate());
    // The bank refuses a rate it cannot decode at, and the program says so.
    if (rate < DecoderBank::kMinSampleRate || rate > DecoderBank::kMaxSampleRate) {
        CheckingSink sink;
        bool refused = false;
        try {
            DecoderBank bank(&sink, rate, nullptr);
        } catch (const std::invalid_argument&) {
            refused = true;
        }
        FUZZ_CHECK(refused);
        return;
    }
    CheckingSink sink;
    DecoderBank bank(&sink, rate, nullptr);
    std::vector<int16_t> block(DecoderBank::BlockSamples(rate));
    for (;;) {
        const velkor::Result<size_t> got = reader->read(block.data(), block.size());
        if (!got || *got == 0)
            break;
        FUZZ_CHECK(*got <= block.size());
        bank.FeedBlock(block.data(), *got * sizeof(int16_t));
    }
    bank.Stop();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned how = data[0] % 8;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (how < 5)
        readFile(bytes, static_cast<int>(kRates[how]), std::nullopt);
    else if (how == 5)
        captureBuffers(kRates[(data[0] >> 3) % std::size(kRates)], data + 1, size - 1);
    else
        readFile(bytes, std::nullopt, how == 7 ? std::optional<int>(1) : std::nullopt);
    return 0;
}
