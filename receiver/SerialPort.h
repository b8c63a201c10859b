// The scanner's serial port on POSIX termios.
//
// All I/O is synchronous and bounded. A read waits until its bytes are in or the read
// time-out has run out, counted from the start of the call (there is no limit between
// bytes, only a total), so a one-byte read of readLine waits at most the time-out.
// A write gives up after 1000 ms per byte plus 1000 ms.
//
// The port is opened exclusively (TIOCEXCL, which root ignores, and an flock, which it
// does not), and the termios found at open are put back at close, so another program
// finds the port as it left it.
#pragma once

#include "notify/Result.h"

#include <cstdint>
#include <string>

#include <termios.h>

namespace velkor {

class SerialPort {
public:
    // The read time-out in force between open and the first setReadTimeout.
    static constexpr unsigned kOpenReadTimeoutMs = 3000;

    SerialPort() = default;
    ~SerialPort() { close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the serial device at that path (the configuration says which device a COM
    // port number stands for).
    // parity: 0 none, 1 odd, 2 even, 3 mark, 4 space; stopBits: 0 one, 2 two (1, one
    // and a half, has no termios form and is refused).
    // Success also if already open; a failure names the failing step ("Cannot open
    // /dev/ttyS8: No such file or directory"), and lastError() is that step's error,
    // not one of the close after it.
    velkor::Status open(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                        uint8_t stopBits);

    // 1 if nothing was open; otherwise 1 when the device closed cleanly, else 0.
    int close();

    // 1 when applied or nothing is open.
    int setReadTimeout(unsigned ms);

    // Bytes written; 0 if closed.
    unsigned write(const void* data, unsigned count);

    // Bytes read (up to count, within the read time-out); 0 if closed. Not terminated.
    unsigned read(void* buffer, unsigned count);

    // Reads one carriage-return-terminated line, storing at most size - 1 bytes and
    // a NUL after them. The CR is consumed, not stored; a lone CR or silence returns
    // 0 and leaves the buffer as it was. When the buffer fills, the byte that found it
    // full is dropped and the rest stays in the port.
    unsigned readLine(char* buffer, unsigned size);

    bool isOpen() const { return m_fd >= 0; }
    const std::string& device() const { return m_device; }
    int lastError() const { return m_lastError; }

private:
    enum class Wait { Read, Write };
    // Waits until the descriptor is ready or deadlineMs (monotonic) has passed.
    bool waitReady(Wait what, int64_t deadlineMs);
    velkor::Failure fail(const std::string& step, int err);
    // One read of up to count bytes within the read time-out: the bytes read, or a
    // failure when the device failed before any came (after some, the next read fails).
    velkor::Result<unsigned> readSome(unsigned char* buffer, unsigned count);

    int m_fd = -1;
    std::string m_device;
    termios m_savedTermios{};
    bool m_haveSaved = false;
    bool m_exclusive = false;
    unsigned m_readTimeoutMs = kOpenReadTimeoutMs;
    int m_lastError = 0;
};

} // namespace velkor
