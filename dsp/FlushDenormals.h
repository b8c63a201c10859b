// Scoped flush-to-zero for the decoders' sample processing. A filter fed digital
// zeros (a muted source, a squelched gap in a recording) lets its state decay towards
// zero, and below about 1e-308 the numbers become subnormal, where every operation
// costs the processor some hundred times more: the decoders then run slower on
// silence than on signal. With flush-to-zero (and denormals-are-zero on x86-64) such a
// value becomes 0 instead. Only values below the smallest normal double change, far
// below anything the 16-bit audio can express, so every normal value is computed in
// full double precision as before.
//
// The mode is a property of the thread, so the guard is set where samples enter the
// decoders (the bank's feed, each demodulator's ProcessSamples) rather than once at
// start-up: whichever thread runs a decoder gets it, and the caller's mode comes back
// when the guard goes.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace velkor {

class FlushDenormals {
public:
#if defined(__x86_64__) || defined(__i386__)
    // FTZ (bit 15) and DAZ (bit 6) of MXCSR.
    static constexpr unsigned kBits = 0x8040u;
    FlushDenormals()
        : m_saved(_mm_getcsr())
    {
        if ((m_saved & kBits) != kBits)
            _mm_setcsr(m_saved | kBits);
    }
    ~FlushDenormals()
    {
        if ((m_saved & kBits) != kBits)
            _mm_setcsr(m_saved);
    }

private:
    unsigned m_saved;
#elif defined(__aarch64__)
    // FZ (bit 24) of FPCR.
    static constexpr uint64_t kBits = uint64_t{1} << 24;
    FlushDenormals()
    {
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(m_saved));
        if ((m_saved & kBits) == 0)
            __asm__ __volatile__("msr fpcr, %0" : : "r"(m_saved | kBits));
    }
    ~FlushDenormals()
    {
        if ((m_saved & kBits) == 0)
            __asm__ __volatile__("msr fpcr, %0" : : "r"(m_saved));
    }

private:
    uint64_t m_saved = 0;
#else
    FlushDenormals() = default;
#endif

public:
    FlushDenormals(const FlushDenormals&) = delete;
    FlushDenormals& operator=(const FlushDenormals&) = delete;
};

} // namespace velkor
