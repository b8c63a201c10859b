#include "receiver/CUnidenDynamic.h"

#include <cstring>

namespace velkor {

namespace {

bool hasFrequency(const char* reply)
{
    return reply[3] == ',' && reply[4] >= '0' && reply[4] <= '9';
}

} // namespace

CUnidenDynamic::CUnidenDynamic(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                               uint8_t stopBits, unsigned readTimeoutMs)
    : CUnidenScanner(device, baudRate, byteSize, parity, stopBits, readTimeoutMs)
{
}

int CUnidenDynamic::setFrequency(double mhz, int narrow)
{
    char reply[128];
    command(format("QSH,%08.0f,%04u,%s,0,0,0,0,0000000000000000,0,0\r", mhz * 10000.0, narrow ? 1250u : 2500u,
                   narrow ? "NFM" : "FM"),
            reply, sizeof reply, "QSH");
    return checkReply(reply, "QSH,OK");
}

double CUnidenDynamic::getFrequency()
{
    char reply[128];
    command("GLG\r", reply, sizeof reply, "GLG");
    if (!hasFrequency(reply))
        return 0.0;
    unsigned value = 0;
    for (size_t i = 4; i < 12 && reply[i] >= '0' && reply[i] <= '9'; ++i)
        value = value * 10 + static_cast<unsigned>(reply[i] - '0');
    return value / 10000.0;
}

int CUnidenDynamic::isSquelchOpen()
{
    char reply[128];
    command("GLG\r", reply, sizeof reply, "GLG");
    if (!hasFrequency(reply))
        return 0;
    // Field 8 (counting "GLG" as field 0) is the squelch state.
    const char* p = reply;
    for (int commas = 0; commas < 8; ++commas) {
        p = std::strchr(p, ',');
        if (!p)
            return 0;
        ++p;
    }
    return *p == '1' ? 1 : 0;
}

int CUnidenDynamic::startScan()
{
    char reply[64];
    command("KEY,S,P\r", reply, sizeof reply, "KEY");
    return checkReply(reply, "KEY,OK");
}

int CUnidenDynamic::setBacklight(int level)
{
    char reply[64];
    command("PRG\r", reply, sizeof reply, "PRG");
    if (!checkReply(reply, "PRG,OK"))
        return 0;
    command(format("BKL,%s,RED\r", level == 0 ? "HIGH" : level == 1 ? "MIDL" : "OFF"), reply, sizeof reply, "BKL");
    if (!checkReply(reply, "BKL,OK"))
        return 0;
    command("EPG\r", reply, sizeof reply, "EPG");
    return checkReply(reply, "EPG,OK");
}

} // namespace velkor
