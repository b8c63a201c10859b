#include "decoders/NmtViterbi.h"

namespace velkor {

namespace {
constexpr int kStates = 8;
constexpr uint8_t kUnreachable = 255;

// survivor[i][s]: the predecessor of state s at step i.
using Survivors = std::array<std::array<uint8_t, kStates>, NmtViterbi::kSteps + 1>;

// The path's end is the state of least metric (the first of equals); its information
// bits are read back through the survivors.
template <typename Metric> unsigned bestEndState(const std::array<Metric, kStates>& metric)
{
    unsigned state = 0;
    for (unsigned s = 1; s < kStates; ++s)
        if (metric[s] < metric[state])
            state = s;
    return state;
}

uint64_t traceBack(const Survivors& survivor, unsigned state)
{
    uint64_t bits = 0;
    for (int i = NmtViterbi::kSteps; i >= 1; --i) {
        if (i < NmtViterbi::kInfoBits)
            bits |= static_cast<uint64_t>(state & 1u) << (NmtViterbi::kInfoBits - 1 - i);
        // survivor holds kSteps + 1 steps; cppcheck takes its size for kSteps.
        // cppcheck-suppress containerOutOfBounds
        state = survivor[static_cast<std::size_t>(i)][state];
    }
    return bits;
}
} // namespace

NmtViterbiResult NmtViterbi::Decode(const std::array<uint8_t, kParityBits>& q, const std::array<uint8_t, kInfoBits>& p)
{
    std::array<uint8_t, kStates> metric;
    metric.fill(kUnreachable);
    metric[0] = 0;
    Survivors survivor{};

    for (int i = 1; i <= kSteps; ++i) {
        const unsigned parity = q[static_cast<std::size_t>(i)] & 1u;
        const unsigned info = i < kInfoBits ? (p[static_cast<std::size_t>(i)] & 1u) : 0u;
        std::array<uint8_t, kStates> next;
        next.fill(kUnreachable);
        for (unsigned s = 0; s < kStates; ++s) {
            if (metric[s] == kUnreachable)
                continue;
            for (unsigned x = 0; x <= 1; ++x) {
                const unsigned to = ((s << 1) | x) & 7u;
                const unsigned expected = (x ^ (s >> 2) ^ 1u) & 1u;
                const unsigned cost = ((expected ^ parity) << 1) + (x ^ info);
                // At most 3 per step over 67 steps: the sum stays below 255.
                const auto candidate = static_cast<uint8_t>(metric[s] + cost);
                if (candidate < next[to]) {
                    next[to] = candidate;
                    survivor[static_cast<std::size_t>(i)][to] = static_cast<uint8_t>(s);
                }
            }
        }
        metric = next;
    }

    const unsigned state = bestEndState(metric);
    NmtViterbiResult result;
    result.errors = metric[state];
    result.bits = traceBack(survivor, state);
    return result;
}

NmtViterbiResult NmtViterbi::DecodeSoft(const std::array<uint8_t, kParityBits>& q,
                                        const std::array<uint8_t, kInfoBits>& p,
                                        const std::array<float, kParityBits>& qr,
                                        const std::array<float, kInfoBits>& pr)
{
    constexpr float kNone = 1e30f;
    std::array<float, kStates> metric;
    std::array<uint8_t, kStates> errors{};
    metric.fill(kNone);
    metric[0] = 0;
    Survivors survivor{};

    for (int i = 1; i <= kSteps; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const unsigned parity = q[at] & 1u;
        const float parityWeight = qr[at];
        const bool hasInfo = i < kInfoBits;
        const unsigned info = hasInfo ? (p[at] & 1u) : 0u;
        // The tail's information bits are known to be zero.
        const float infoWeight = hasInfo ? pr[at] : 0.0f;
        std::array<float, kStates> next;
        std::array<uint8_t, kStates> nextErrors{};
        next.fill(kNone);
        for (unsigned s = 0; s < kStates; ++s) {
            if (metric[s] >= kNone)
                continue;
            for (unsigned x = 0; x <= 1; ++x) {
                const unsigned to = ((s << 1) | x) & 7u;
                const unsigned parityWrong = (x ^ (s >> 2) ^ 1u ^ parity) & 1u;
                const unsigned infoWrong = hasInfo ? x ^ info : x;
                const float candidate = metric[s] + (parityWrong ? parityWeight : 0.0f) +
                    (infoWrong ? (hasInfo ? infoWeight : kNone) : 0.0f);
                if (candidate < next[to]) {
                    next[to] = candidate;
                    nextErrors[to] = static_cast<uint8_t>(errors[s] + (parityWrong << 1) + infoWrong);
                    survivor[at][to] = static_cast<uint8_t>(s);
                }
            }
        }
        metric = next;
        errors = nextErrors;
    }

    const unsigned state = bestEndState(metric);
    NmtViterbiResult result;
    result.errors = errors[state];
    result.distance = metric[state];
    result.bits = traceBack(survivor, state);
    return result;
}

} // namespace velkor
