#include "receiver/CUniden250.h"

#include <cstring>

namespace velkor {

namespace {

// The decimal number of at most maxDigits digits starting at position first; 0 when
// there is no digit there.
unsigned digitsAt(const char* reply, size_t first, size_t maxDigits)
{
    const size_t length = std::strlen(reply);
    unsigned value = 0;
    for (size_t i = first; i < length && i < first + maxDigits; ++i) {
        if (reply[i] < '0' || reply[i] > '9')
            break;
        value = value * 10 + static_cast<unsigned>(reply[i] - '0');
    }
    return value;
}

// A text tag travels inside one command line; line ends in it would split it.
std::string tagText(const char* text)
{
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

CUniden250::CUniden250(const std::string& device, uint32_t memory, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                       uint8_t stopBits, unsigned readTimeoutMs)
    : CUnidenScanner(device, baudRate, byteSize, parity, stopBits, readTimeoutMs)
    , m_memory(memory)
{
    static const char kWakeUp[] = "\rIDF\rCDF\rQUF\r";
    m_port.write(kWakeUp, sizeof kWakeUp - 1);
    drainInput();
}

CUniden250::~CUniden250()
{
    if (m_memory != 0)
        restoreBankTag();
}

void CUniden250::restoreBankTag()
{
    // A tag that was never read (channel out of range, no reply to the query) must not
    // be written: that would erase the user's own bank tag.
    if (!m_bankTagRead)
        return;
    char reply[kReplySize];
    command(format("TA B %c %s\r", m_bankLetter, m_bankTag.c_str()), reply, sizeof reply);
}

char CUniden250::bankLetterFor(unsigned channel, unsigned channelsPerBank, unsigned channels) const
{
    if (channel == 0 || channel > channels)
        return 'A';
    return static_cast<char>('A' + (channel - 1) / channelsPerBank);
}

char CUniden250::getBankLetter(unsigned channel)
{
    return bankLetterFor(channel, 100, 1000);
}

int CUniden250::initialize()
{
    return initializeWithLimit(1000);
}

int CUniden250::initializeWithLimit(uint32_t channels)
{
    if (m_memory > channels)
        return 0;
    if (m_memory == 0)
        return 1;
    return getBankTag();
}

int CUniden250::getBankTag()
{
    m_bankLetter = getBankLetter(m_memory);
    drainInput();
    char reply[kReplySize];
    command(format("TA B %c\r", m_bankLetter), reply, sizeof reply);
    if (!checkReply(reply, "TA B "))
        return 0;
    m_bankTag = std::strlen(reply) > 7 ? reply + 7 : "";
    m_bankTagRead = true;
    return 1;
}

int CUniden250::pressKey(unsigned key)
{
    char reply[kReplySize];
    command(format("KEY%02u\r", key), reply, sizeof reply);
    return checkReply(reply, "OK");
}

unsigned CUniden250::readMode()
{
    char reply[kReplySize];
    command("MD\r", reply, sizeof reply);
    if (!checkReply(reply, "MD"))
        return ~0u;
    return digitsAt(reply, 2, 2);
}

void CUniden250::enterManualMode()
{
    const unsigned mode = readMode();
    if (mode == ~0u || mode <= 1)
        return;
    const bool searching = mode >= 10 && mode <= 20 && mode % 2 == 0;
    const bool held = mode >= 9 && mode <= 19 && mode % 2 == 1;
    if (searching && !pressKey(getSearchKey()))
        return;
    if ((searching || held) && !pressKey(getResumeKey()))
        return;
    pressKey(getManualKey());
}

int CUniden250::setFrequency(double mhz, int narrow)
{
    char reply[kReplySize];
    if (m_memory == 0) {
        command(format("RF%08.0f\r", mhz * 10000.0), reply, sizeof reply);
        return checkReply(reply, "OK");
    }
    enterManualMode();
    command(format("PM%03u %08.0f\r", m_memory, mhz * 10000.0), reply, sizeof reply);
    if (!checkReply(reply, "C"))
        return 0;
    command("LON\r", reply, sizeof reply);
    if (!checkReply(reply, "OK"))
        return 0;
    command(narrow ? "RM NFM\r" : "RM FM\r", reply, sizeof reply);
    return checkReply(reply, "OK");
}

double CUniden250::getFrequency()
{
    char reply[kReplySize];
    command("SG\r", reply, sizeof reply);
    if (reply[5] != 'F')
        return 0.0;
    return digitsAt(reply, 6, 8) / 10000.0;
}

int CUniden250::setText(const char* text)
{
    if (m_memory == 0 || !text)
        return 0;
    char reply[kReplySize];
    command(format("TA C %03u %s\r", m_memory, tagText(text).c_str()), reply, sizeof reply);
    return checkReply(reply, "OK");
}

int CUniden250::setText2(const char* text)
{
    if (m_memory == 0)
        return 0;
    // Putting back a tag that was never read would erase the user's own.
    if (!text && !m_bankTagRead)
        return 0;
    char reply[kReplySize];
    const std::string tag = text ? tagText(text) : m_bankTag;
    command(format("TA B %c %s\r", m_bankLetter, tag.c_str()), reply, sizeof reply);
    return checkReply(reply, "OK");
}

int CUniden250::startScan()
{
    // The mode is read as enterManualMode reads it, both digits: every held or
    // searching mode (9 and above) is left with the resume key.
    const unsigned mode = readMode();
    if (mode == ~0u)
        return 0;
    return pressKey(mode <= 8 ? getScanKey() : getResumeKey());
}

int CUniden250::isSquelchOpen()
{
    char reply[50];
    command("SQ\r", reply, sizeof reply);
    return reply[0] == '+' ? 1 : 0;
}

int CUniden250::setBacklight(int level)
{
    const char* letter = level == 0 ? "N" : level == 2 ? "F" : "D";
    char reply[64];
    command(format("LT%s\r", letter), reply, sizeof reply);
    return checkReply(reply, "OK");
}

} // namespace velkor
