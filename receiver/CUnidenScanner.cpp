#include "receiver/CUnidenScanner.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace velkor {

CUnidenScanner::CUnidenScanner(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                               uint8_t stopBits, unsigned readTimeoutMs)
    : CReceiverCtrl(device, baudRate, byteSize, parity, stopBits)
{
    m_port.setReadTimeout(readTimeoutMs);
}

CUnidenScanner::~CUnidenScanner()
{
    drainInput();
}

unsigned CUnidenScanner::readReply(char* buffer, unsigned size, const char* prefix)
{
    if (size == 0)
        return 0;
    std::memset(buffer, 0, size);
    unsigned got = m_port.readLine(buffer, size);
    if (!prefix)
        return got;
    const size_t prefixLength = std::strlen(prefix);
    for (int skipped = 0; std::strncmp(buffer, prefix, prefixLength) != 0; ++skipped) {
        if (std::strcmp(buffer, "ERR") == 0 || skipped == kMaxSkippedLines)
            break;
        const unsigned next = m_port.readLine(buffer, size);
        if (next == 0)
            break;
        got = next;
    }
    return got;
}

int CUnidenScanner::checkReply(const char* reply, const char* expected)
{
    if (!reply || !expected)
        return 0;
    return std::strncmp(reply, expected, std::strlen(expected)) == 0 ? 1 : 0;
}

void CUnidenScanner::drainInput()
{
    char scratch[4096];
    m_port.read(scratch, sizeof scratch);
}

void CUnidenScanner::command(const std::string& cmd, char* buffer, unsigned size, const char* prefix)
{
    if (size >= 2 && cmd.size() > size - 1) {
        std::string clipped = cmd.substr(0, size - 2);
        clipped += '\r';
        m_port.write(clipped.data(), static_cast<unsigned>(clipped.size()));
    } else {
        m_port.write(cmd.data(), static_cast<unsigned>(cmd.size()));
    }
    readReply(buffer, size, prefix);
}

std::string CUnidenScanner::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, args);
        out.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return out;
}

} // namespace velkor
