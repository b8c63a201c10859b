// MPT 1327 control-channel decoder.
//
// Codewords are 64 bits: 48 information bits (bit 1 = 1 for an address codeword),
// 15 check bits of a cyclic code whose last bit is sent inverted, and an even parity
// bit. A control channel starts with the system codeword: 32 bits of system identity,
// then the end of the preamble 0xAAAA and the sync word 0xC4D7 (0x3B28 on a data
// channel) in place of check and parity bits. We hunt for that pattern bit by bit;
// once found, every further 64 bits form a codeword until one fails its check. Some
// networks send 0xB433 (0x4BCC on a data channel) instead; a system uses one pair or
// the other, and both are accepted alike.
//
// On a traffic channel each data burst is a short preamble, the sync word and one
// codeword, at whatever bit phase it comes after voice: too soon for the bit clock to
// settle. So while we wait for synchronisation the demodulator also searches the
// pattern at every sample and bit phase and hands it to us with the clock set to it.
// The first bits of a preamble are often damaged; a pattern with an exact sync word and
// up to two wrong preamble bits is taken on trust only until its codeword has checked
// good: nothing is posted for it before.
#pragma once

#include "decoders/DecoderOutput.h"
#include "decoders/LineBuilder.h"
#include "decoders/SoftBits.h"
#include "dsp/CFSKDemodulator.h"
#include "protocol/commands.h"

#include <utility>

namespace velkor {

class CMPT1327 : public CFSKDemodulator {
public:
    // Without cmdWnd every bit is refused with an alert through notices.
    CMPT1327(CmdSink* cmdWnd, int sampleRate, int baudRate = 1200, uint16_t tone1 = 1800, uint16_t tone2 = 1200,
             velkor::Notices& notices = velkor::stderrNotices());

    using CFSKDemodulator::ProcessBit;
    void ProcessBit(bool bit, float reliability) override;

    // 0 exactly when the 64 bits pass the cyclic check and hold even parity.
    static uint16_t CheckCodeword(uint64_t codeword);

protected:
    bool ProcessSync(uint64_t window) override;
    // The pattern is searched for exactly while no codeword is expected; the clock
    // follows a codeword that was found by reading the past again.
    Steering Steer() override { return {m_bitCountdown == 0, std::exchange(m_clockShift, 0.0)}; }

private:
    uint64_t bits(int first, int last) const;
    uint16_t word(int index) const { return static_cast<uint16_t>(m_codeword >> (48 - 16 * index)); }
    bool IsSyncPattern() const;
    bool IsControlSync() const;
    enum class Sync { None, Exact, Damaged };
    Sync SyncInWindow() const;
    void SyncFound(Sync sync);
    void CountLoss();
    void ReadAgain();
    bool CorrectFromSoft();

    void SystemCodeword();
    void InterpretCodeword();
    void GoToChannel();
    void Aloha(unsigned func);
    void Acknowledgement(unsigned func);
    void RequestOrAhoy(unsigned func);
    void Miscellaneous(unsigned func);
    void ShortData(unsigned type);

    void PostLine() { m_out.postLine(m_line); }
    void ReportAddress(uint32_t fleet, uint32_t unit);

    velkor::DecoderOutput m_out;
    uint64_t m_codeword = 0;            // newest bit in bit 0
    velkor::SoftBits<64> m_reliability; // of the bits of m_codeword
    uint8_t m_bitCountdown = 0;         // 0: searching; 1: a codeword has just completed
    double m_clockShift = 0.0;          // asked of the demodulator's clock, in samples
    bool m_onTrust = false;             // aligned on a damaged preamble: nothing posted yet
    bool m_fromSync = false;            // the codeword being received follows a sync pattern
    uint16_t m_lossCount = 0;           // bits in search mode since the last good data; 0: idle
    uint16_t m_lastSysId = 0xFFFF;
    uint16_t m_systemNumber = 0;
    uint16_t m_site = 0;
    uint16_t m_controlChannel = 0;
    velkor::LineBuilder m_line{1024};
};

} // namespace velkor
