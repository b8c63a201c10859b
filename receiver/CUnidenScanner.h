// What the Uniden command sets share: every exchange is one command line out and
// reply lines back, each ended by a carriage return, judged by how the reply begins.
// The one transaction helper (command) writes, reads and skips; the drivers differ
// only in the commands and in how they read the replies.
#pragma once

#include "receiver/CReceiverCtrl.h"

#include <string>

namespace velkor {

class CUnidenScanner : public CReceiverCtrl {
public:
    // Every reply line is waited for this long.
    static constexpr unsigned kReadTimeoutMs = 500;

    CUnidenScanner(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                   unsigned readTimeoutMs = kReadTimeoutMs);
    ~CUnidenScanner() override;

protected:
    // Reads a reply line into a zeroed buffer. With a prefix, lines not beginning with
    // it are skipped until one does, an "ERR" line comes, or nothing more arrives (the
    // buffer then keeps the last line read). Returns the characters of the last line.
    unsigned readReply(char* buffer, unsigned size, const char* prefix);
    // 1 when reply begins with the whole of expected.
    static int checkReply(const char* reply, const char* expected);
    // Discards whatever the scanner sends within one read time-out.
    void drainInput();

    // Writes the command whole (clipped to size - 1 bytes, still ending in its
    // carriage return) and reads the reply into buffer.
    void command(const std::string& cmd, char* buffer, unsigned size, const char* prefix = nullptr);

    static std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

private:
    // A scanner that keeps sending lines other than the awaited one must not hold the
    // program forever.
    static constexpr int kMaxSkippedLines = 32;
};

} // namespace velkor
