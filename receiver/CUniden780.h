// Uniden BC245XLT / BC780XLT / BC895XLT: the CUniden250 command set with 500 memory
// channels in banks of 50 and its own key codes (search is the same).
#pragma once

#include "receiver/CUniden250.h"

namespace velkor {

class CUniden780 : public CUniden250 {
public:
    using CUniden250::CUniden250;

    int initialize() override { return initializeWithLimit(500); }
    char getBankLetter(unsigned channel) override { return bankLetterFor(channel, 50, 500); }
    unsigned getManualKey() override { return 1; }
    unsigned getScanKey() override { return 0; }
    unsigned getResumeKey() override { return 8; }
};

} // namespace velkor
