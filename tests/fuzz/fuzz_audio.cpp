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
// With the top bit set, 0-4 take the bytes as bits on the air instead (up to 192, most
// significant first), sent as a scanner hears them at 8000 Hz (0, 2, 4) or 11025 Hz
// (1, 3): the next byte picks 1200 baud FFSK (MPT 1327, NMT-450) or 3600 bit/s
// Motorola NRZ and its polarity. Short inputs so reach the framing, which raw samples
// of the same length (a twentieth of a second at most) rarely get to; the higher rates
// are the raw modes' part.
// Covers the reader's opening, checking and reading of files (and its refusals), the
// bank's block handling and the three decoders' demodulators and framing.
#include "CheckingSink.h"
#include "audio/SoundFileReader.h"
#include "bank/DecoderBank.h"
#include "signal/Nrz.h"

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

void decodePcm(unsigned rate, const std::vector<int16_t>& pcm)
{
    CheckingSink sink;
    DecoderBank bank(&sink, rate, nullptr);
    const size_t block = DecoderBank::BlockSamples(rate);
    for (size_t at = 0; at < pcm.size(); at += block)
        bank.FeedBlock(pcm.data() + at, std::min(block, pcm.size() - at) * sizeof(int16_t));
    bank.Stop();
}

void modulated(unsigned rate, const uint8_t* data, size_t size)
{
    // A sixth of a second of FFSK: sync and two MPT 1327 codewords, or an NMT-450
    // frame; of Motorola, two words.
    constexpr size_t kMaxBytes = 24;
    if (size < 1)
        return;
    testsignal::Bits bits;
    for (size_t i = 1; i < std::min(size, kMaxBytes + 1); ++i)
        for (int b = 7; b >= 0; --b)
            bits.push_back((data[i] >> b) & 1);
    testsignal::Samples audio;
    if (data[0] & 1) {
        testsignal::NrzOptions nrz;
        nrz.rate = static_cast<int>(rate);
        nrz.leadSeconds = 0.003;
        nrz.tailSeconds = 0.02;
        nrz.gaussianBt = 0.5;
        nrz.inverted = (data[0] & 2) != 0;
        audio = testsignal::nrz(bits, nrz);
    } else {
        testsignal::FfskOptions ffsk;
        ffsk.rate = static_cast<int>(rate);
        ffsk.leadSeconds = 0.003;
        audio = testsignal::ffsk(bits, ffsk);
    }
    decodePcm(rate, testsignal::toPcm16(audio));
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
    if (how < 5 && data[0] & 0x80)
        modulated(kRates[how % 2], data + 1, size - 1);
    else if (how < 5)
        readFile(bytes, static_cast<int>(kRates[how]), std::nullopt);
    else if (how == 5)
        captureBuffers(kRates[(data[0] >> 3) % std::size(kRates)], data + 1, size - 1);
    else
        readFile(bytes, std::nullopt, how == 7 ? std::optional<int>(1) : std::nullopt);
    return 0;
}
