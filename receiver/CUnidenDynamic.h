// Uniden's newer comma-separated command set (BCD396T, BR330T and kin): each reply
// repeats the command word ("QSH,OK", "GLG,<frequency>,..."). The driver tunes with
// Quick Search Hold, reads frequency and squelch from "GLG", resumes scanning with a
// key press and sets the backlight in program mode. It keeps no display texts.
#pragma once

#include "receiver/CUnidenScanner.h"

namespace velkor {

class CUnidenDynamic : public CUnidenScanner {
public:
    CUnidenDynamic(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                   unsigned readTimeoutMs = kReadTimeoutMs);

    int initialize() override { return 1; }
    int setFrequency(double mhz, int narrow) override;
    double getFrequency() override;
    int setText(const char*) override { return 0; }
    int setText2(const char*) override { return 0; }
    int startScan() override;
    int isSquelchOpen() override;
    int setBacklight(int level) override;
};

} // namespace velkor
