// Detector for 1200 baud FFSK, wired from small kernels, each with one job:
//
//   samples -> BandPass -> ToneCorrelator -> BitClock --(bit due)--> MskDetector -> bit
//                 |                               |
//                 +-> MskDetector (kept)          +-> SyncSearch (decisions of the past)
//
// The band-pass keeps the noise of the rest of the band out; the correlators give a
// one-sample decision for the stronger tone; the bit clock follows the changes of those
// decisions and says when a bit is due; the coherent detector decides it, with how sure
// it is, once its carrier estimate has seen a few bits (before that, the majority of
// the decisions counted by the clock is the bit). The sync search, for a decoder that
// gives sync patterns, offers the bits of a pattern that shows at any phase of the
// recent past and jumps the clock to it when they are taken.
//
// Everything flows one way: the demodulator hands the decoder its bits and offers, and
// after each asks it what it wants (Steer): whether it waits for synchronisation and
// how far the clock should move.
#pragma once

#include "dsp/BandPass.h"
#include "dsp/BitClock.h"
#include "dsp/CPhaseLockedLoop.h"
#include "dsp/MskDetector.h"
#include "dsp/SyncSearch.h"
#include "dsp/ToneCorrelator.h"

#include <vector>

namespace velkor {

class CFSKDemodulator : public CPhaseLockedLoop {
public:
    // syncPatterns: searched at every bit phase while the decoder waits for them.
    CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2,
                    std::vector<velkor::SyncPattern> syncPatterns = {});

    void ProcessSamples(const int16_t* samples, unsigned count) override;

    // Samples per bit, rate / baud: a fraction where the rate is not a multiple.
    double samplesPerBit() const { return m_samplesPerBit; }
    unsigned correlatorLength() const { return m_correlatorLength; }
    unsigned countedWindow() const { return m_clock.window; }

    // The value a 16-bit sample enters the correlators with.
    static double sampleValue(int16_t sample) { return sample / 32768.0; }

protected:
    // What the decoder wants of the demodulator, asked after every bit and offer.
    struct Steering {
        bool waitingForSync = false;
        double clockShift = 0.0; // samples, later when positive
    };
    virtual Steering Steer() { return {}; }
    // Offers the 64 bits (the newest in bit 0) that end at a bit phase where a pattern
    // showed, with the newest bit decided a little in the past. True when the decoder
    // takes them: the clock then goes on from that phase, and the next bit it hands on
    // is the one after them.
    virtual bool ProcessSync(uint64_t window);
    // The recent past, for reading the newest bits again.
    const velkor::SyncSearch& Past() const { return m_search; }

private:
    void BitDue();
    void TakeSteering(bool offered);
    void Search(bool bit);

    double m_samplesPerBit;
    uint32_t m_correlatorLength; // the bit period rounded
    velkor::BandPass m_band;
    velkor::ToneCorrelator m_tones;
    velkor::BitClock m_clock;
    velkor::MskDetector m_detector;
    velkor::SyncSearch m_search;
    uint64_t m_sample = 0; // samples consumed so far
};

} // namespace velkor
