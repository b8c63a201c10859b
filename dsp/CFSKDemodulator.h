// Detector for 1200 baud FFSK. A band-pass around the tones first keeps the noise of
// the rest of the sampled band out (at 11025 Hz it is 6 dB more per hertz than at
// 48000 Hz for the same signal-to-noise ratio). Each tone is then correlated with a sine and a
// cosine over a sliding one-bit window (products kept in rings, sums updated
// incrementally); at every sample the stronger tone gives a one-sample decision. The
// bit clock runs at the exact (fractional) bit period and is nudged by where the
// decisions change, so it locks to any signal phase.
//
// With 1200 and 1800 Hz at 1200 baud the signal is minimum-shift keying: against the
// middle frequency its phase turns a quarter turn up or down in each bit, so at the
// bit boundaries it sits on one of four points a quarter turn apart. The bits are
// decided coherently: the audio is mixed down by the middle frequency, each boundary's
// point is read through the half-sine matched filter (two bit periods long), the
// carrier phase is estimated from the squared points of the recent boundaries (which
// the data does not turn), and a bit is the direction of the turn between the points
// at its two ends; the smaller of the two projections is how sure it is. This is some
// 4 dB more sensitive than counting tone decisions. Until the estimate has seen a few
// bits, and for the sync search below, a bit is the majority of the one-sample
// decisions in a window centred on it.
//
// That clock settles slowly, on purpose: it must not wander in noise. A data burst that
// starts at an unknown phase after voice is over before it has moved far, so a decoder
// waiting for synchronisation can also have its sync pattern searched at every sample,
// at every bit phase, in the decisions of the recent past. Where the pattern shows, the
// decoder is offered the bits at the phase in the middle of the samples where it shows,
// and when it takes them the clock jumps to that phase.
#pragma once

#include "dsp/CPhaseLockedLoop.h"

#include <array>
#include <vector>

class CFSKDemodulator : public CPhaseLockedLoop {
public:
    CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2);

    void ProcessSamples(const int16_t* samples, unsigned count) override;

    // Samples per bit, rate / baud: a fraction where the rate is not a multiple.
    double samplesPerBit() const { return m_samplesPerBit; }
    unsigned correlatorLength() const { return m_correlatorLength; }
    unsigned countedWindow() const { return m_countedWindow; }

    // The value a 16-bit sample enters the correlators with.
    static double sampleValue(int16_t sample) { return sample / 32768.0; }

    // A pattern of the 32 newest bits (the newest in bit 0): the bits of exactMask must
    // all be as given, of the others at most maxErrors may differ.
    struct SyncPattern {
        uint32_t bits = 0;
        uint32_t exactMask = 0xFFFFFFFF;
        unsigned maxErrors = 0;
    };

protected:
    // The patterns searched for while the search is on (at most a few).
    void SetSyncPatterns(std::vector<SyncPattern> patterns);
    // The derived decoder turns the search on while it waits for synchronisation. Only
    // patterns that show after it was turned on are offered.
    void SearchSync(bool on);
    // Offers the 64 bits (the newest in bit 0) that end at a bit phase where a pattern
    // showed, with the newest bit decided a little in the past. True when the decoder
    // takes them: the clock then goes on from that phase, and the next bit it hands on
    // is the one after them.
    virtual bool ProcessSync(uint64_t window);
    // The last 64 bits again, read from the recent past at the bit period with the newest
    // bit `offset` samples after the one the clock decided: from the counted decisions as
    // the clock reads them, or from the single decision of the sample (single). 0 where
    // the past kept does not reach.
    uint64_t Reread(double offset, bool single) const;
    // Moves the clock: later by a positive number of samples.
    void ShiftClock(double samples);

private:
    // Direct-form biquad section.
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
        double operator()(double x)
        {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    using Complex = std::array<double, 2>;
    // The matched filter's window for a boundary at a fraction of a sample: the first
    // sample and which of the sub-sample pulses.
    struct Window {
        int64_t first = -1;
        int sub = 0;
        bool operator==(const Window&) const = default;
    };
    Window WindowAt(double at) const;
    // The matched filter's output summed over the window's taps [begin, end).
    Complex Filter(const Window& window, int64_t begin, int64_t end) const;
    // Positive for a 1, at the bit the clock decides now.
    double CoherentBit();
    bool PatternAt(uint64_t sample, unsigned& errors) const;
    // False when the newest four bits at the sample already rule every pattern out:
    // the test made at every sample of the search, so it is kept short.
    bool MayShow(uint64_t sample) const { return m_firstNibble[NewestBits(sample, 4)]; }
    // The newest count bits at the sample, the newest in bit 0.
    uint32_t NewestBits(uint64_t sample, unsigned count) const
    {
        uint32_t value = 0;
        for (unsigned k = 0; k < count; ++k)
            value |= static_cast<uint32_t>(m_history[(sample - m_bitOffsets[k]) & m_historyMask] & 1u) << k;
        return value;
    }
    uint64_t BitsEndingAt(double sample, unsigned count, unsigned which = 0) const;
    void SearchAt(uint64_t sample);

    enum { kSin1, kCos1, kSin2, kCos2, kRefs };

    // The four references side by side, so that one sample touches one cache line of
    // each array.
    using Quad = std::array<double, kRefs>;
    std::vector<Quad> m_tables; // whole cycles of both tones
    std::vector<Quad> m_rings;  // the products of the last bit period
    Quad m_sums{};
    uint32_t m_phase = 0; // position in the tables
    uint32_t m_slot = 0;  // position in the rings
    double m_samplesPerBit;
    uint32_t m_correlatorLength; // ring length: the bit period rounded
    uint32_t m_countedWindow;    // decisions counted per bit
    uint64_t m_windowMask;
    uint64_t m_decisions = 0; // per-sample decisions, newest in bit 0
    uint32_t m_onesCount = 0; // 1-decisions among the counted window
    double m_countdown;       // samples left until the next bit is decided
    double m_sinceBit = 0;    // samples since the last bit was decided
    double m_transitionPhase; // where a change of decisions falls when the clock is right
    uint32_t m_warmup;        // samples until the correlators are full

    Biquad m_band{};
    // Coherent detection.
    std::vector<Complex> m_mix; // e^-jwn of the middle frequency, whole cycles and a window
    uint32_t m_mixLength = 0;   // the whole cycles
    std::vector<double> m_filtered; // band-passed samples, each stored twice so that any
                                    // window of the recent past lies in one piece
    uint32_t m_basebandLength = 0;
    uint32_t m_filteredPos = 0; // where the current sample goes: m_sample modulo the length
    std::vector<double> m_pulses; // the half-sine at kPulsePhases sub-sample centres
    int m_pulseHalf = 0;           // taps either side of the centre sample
    struct Partial {
        Window window;
        int64_t taps = 0; // summed so far
        Complex sum{};
    };
    Partial m_partial{};           // the newer boundary of the last bit
    Complex m_carrier{};           // squared boundary points, signs alternated, decaying
    double m_softScale = 0.0;      // mean magnitude of the coherent decisions
    bool m_secondHigher = false;   // the tone of a 1 is the higher one
    unsigned m_coherentBits = 0;   // bits decided since the start, up to the warm-up

    // Sync search: the bit each sample would give if a bit were decided there (bit 0),
    // and the sample's own decision (bit 1).
    std::vector<uint8_t> m_history; // indexed by sample number modulo its size
    uint64_t m_historyMask = 0;
    uint64_t m_sample = 0; // samples consumed so far
    uint64_t m_lastBit = 0; // sample at which the last bit was decided
    std::vector<uint32_t> m_bitOffsets; // samples back from the newest bit to bit k
    std::vector<SyncPattern> m_patterns;
    std::array<uint32_t, 256> m_firstBits{}; // patterns alive after the newest eight bits
    std::array<bool, 16> m_firstNibble{};    // any alive after the newest four
    bool m_searching = false;
    bool m_offering = false; // within ProcessSync
    bool m_refining = false; // the decoder aligned on its own during the current run
    uint64_t m_alignedAt = 0; // sample of the bit it aligned on
    // The run of samples at which a pattern shows, and the part of it with the fewest
    // errors, whose middle is taken as the bit phase.
    bool m_inRun = false;
    unsigned m_runMisses = 0;
    unsigned m_bestErrors = 0;
    uint64_t m_bestFirst = 0;
    uint64_t m_bestLast = 0;
};
