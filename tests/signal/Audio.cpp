#include "signal/Audio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace testsignal {

Samples ffsk(const Bits& bits, const FfskOptions& o)
{
    const double duration = o.leadSeconds + static_cast<double>(bits.size()) / o.baud + o.tailSeconds;
    const auto total = static_cast<size_t>(std::ceil(duration * o.rate));
    Samples out(total, 0.0);
    double phase = 0.0;
    for (size_t n = 0; n < total; ++n) {
        const double t = static_cast<double>(n) / o.rate - o.leadSeconds;
        if (t < 0)
            continue;
        const auto k = static_cast<size_t>(std::floor(t * o.baud));
        if (k >= bits.size())
            break;
        const double f = bits[k] ? o.markHz : o.spaceHz;
        out[n] = o.amplitude * std::sin(phase);
        phase += 2.0 * M_PI * f / o.rate;
        if (phase > 2.0 * M_PI)
            phase -= 2.0 * M_PI;
    }
    return out;
}

Samples ffsk(const Bits& bits, int rate, double leadSeconds)
{
    FfskOptions o;
    o.rate = rate;
    o.leadSeconds = leadSeconds;
    return ffsk(bits, o);
}

void addNoise(Samples& samples, double snrDb, uint32_t seed)
{
    double power = 0.0;
    size_t active = 0;
    for (double s : samples) {
        if (s != 0.0) {
            power += s * s;
            ++active;
        }
    }
    if (active == 0)
        return;
    power /= static_cast<double>(active);
    const double sigma = std::sqrt(power / std::pow(10.0, snrDb / 10.0));
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    for (double& s : samples)
        s += noise(rng);
}

std::vector<int16_t> toPcm16(const Samples& samples)
{
    std::vector<int16_t> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = std::round(samples[i] * 32767.0);
        pcm[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return pcm;
}

void writeWav(const std::string& path, const std::vector<int16_t>& pcm, int rate)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    const sf_count_t written = sf_write_short(file, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    sf_close(file);
    if (written != static_cast<sf_count_t>(pcm.size()))
        throw std::runtime_error("short write to " + path);
}

void appendBits(Bits& bits, uint64_t value, int count)
{
    for (int i = count - 1; i >= 0; --i)
        bits.push_back(static_cast<uint8_t>((value >> i) & 1u));
}

Bits randomBits(size_t count, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bits bits;
    for (size_t i = 0; i < count; ++i)
        bits.push_back(static_cast<uint8_t>(rng() & 1u));
    return bits;
}

} // namespace testsignal
