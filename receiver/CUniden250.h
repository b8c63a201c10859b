// Uniden BC250D / BC785D / BC3300 command set: short commands with blank-separated
// arguments, answered "OK" (or "ERR"). Tuning goes either straight to a frequency
// ("RF") or, when the user gave a memory channel, by reprogramming that channel
// ("PM", "LON", "RM") after the keys that take the scanner out of scanning or
// searching. The channel's bank tag serves as a second display line; the tag the
// user had is read at initialisation and written back at destruction.
//
// Banks hold 100 channels here (1-100 'A' ... 901-1000 'J'); the 245/780 family
// (CUniden780) has 50 per bank and other key codes.
#pragma once

#include "receiver/CUnidenScanner.h"

#include <cstdint>
#include <string>

namespace velkor {

class CUniden250 : public CUnidenScanner {
public:
    // memory: the channel the program may overwrite; 0 tunes directly.
    CUniden250(const std::string& device, uint32_t memory, unsigned baudRate, uint8_t byteSize, uint8_t parity,
               uint8_t stopBits, unsigned readTimeoutMs = kReadTimeoutMs);
    ~CUniden250() override;

    int initialize() override;
    int setFrequency(double mhz, int narrow) override;
    double getFrequency() override;
    int setText(const char* text) override;
    int setText2(const char* text) override;
    int startScan() override;
    int isSquelchOpen() override;
    int setBacklight(int level) override;

    virtual char getBankLetter(unsigned channel);
    virtual unsigned getManualKey() { return 7; }
    virtual unsigned getScanKey() { return 1; }
    virtual unsigned getSearchKey() { return 9; }
    virtual unsigned getResumeKey() { return 0; }

    const std::string& bankTag() const { return m_bankTag; }

protected:
    // initialize() with the model's channel count.
    int initializeWithLimit(uint32_t channels);
    char bankLetterFor(unsigned channel, unsigned channelsPerBank, unsigned channels) const;

private:
    static constexpr unsigned kReplySize = 128;

    int getBankTag();
    void enterManualMode();
    int pressKey(unsigned key);
    unsigned readMode();
    void restoreBankTag();

    uint32_t m_memory;
    char m_bankLetter = 'A';
    std::string m_bankTag;
    bool m_bankTagRead = false; // only a tag that was read is ever written back
};

} // namespace velkor
