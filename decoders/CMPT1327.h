// MPT 1327 control-channel decoder.
//
// Codewords are 64 bits: 48 information bits (bit 1 = 1 for an address codeword),
// 15 check bits of a cyclic code whose last bit is sent inverted, and an even parity
// bit. A control channel starts with the system codeword: 32 bits of system identity,
// then the end of the preamble 0xAAAA and the sync word 0xC4D7 (0x3B28 on a data
// channel) in place of check and parity bits. We hunt for that pattern bit by bit;
// once found, every further 64 bits form a codeword until one fails its check.
#pragma once

#include "protocol/commands.h"
#include "dsp/CFSKDemodulator.h"

class CMPT1327 : public CFSKDemodulator {
public:
    CMPT1327(CmdSink* cmdWnd, int sampleRate, int baudRate = 1200, uint16_t tone1 = 1800, uint16_t tone2 = 1200);

    void ProcessBit(bool bit) override;

    // 0 exactly when the 64 bits pass the cyclic check and hold even parity.
    static uint16_t CheckCodeword(uint64_t codeword);

private:
    uint64_t bits(int first, int last) const;
    uint16_t word(int index) const { return static_cast<uint16_t>(m_codeword >> (48 - 16 * index)); }
    bool IsSyncPattern() const;

    void SystemCodeword();
    void InterpretCodeword();
    void GoToChannel();
    void Aloha(unsigned func);
    void Acknowledgement(unsigned func);
    void RequestOrAhoy(unsigned func);
    void Miscellaneous(unsigned func);
    void ShortData(unsigned type);

    void PostLine();
    void ReportAddress(uint32_t fleet, uint32_t unit);
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Append(const char* text);

    CmdSink* m_cmdWnd;
    uint64_t m_codeword = 0;        // newest bit in bit 0
    uint8_t m_bitCountdown = 0;     // 0: searching; 1: a codeword has just completed
    uint16_t m_lossCount = 0;       // bits in search mode since the last good data; 0: idle
    uint16_t m_lastSysId = 0xFFFF;
    uint16_t m_systemNumber = 0;
    uint16_t m_site = 0;
    uint16_t m_controlChannel = 0;
    char m_line[1024] = {};
};
