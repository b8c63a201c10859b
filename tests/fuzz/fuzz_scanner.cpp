// Any bytes arriving on the serial line, into every receiver operation of every
// driver. The driver opens the slave side of a pseudo-terminal as it would open the
// scanner's port; the input is waiting on the line before the operation starts.
// The first byte picks the driver and its memory channel, the second the operation;
// the rest is what the scanner sends. All of it is in the port's input queue before
// the operation starts, and the driver's read time-out is zero: a read takes what is
// there and, once the input is used up, times out at once (the same path as a real
// time-out, without the wait), so every run is as fast as the driver's own work.
// Covers the drivers' commands and reply parsing (CUnidenScanner, CUniden250/780,
// CUnidenDynamic) and SerialPort's open, line settings, reads, line reads and writes.
#include "FuzzUtil.h"
#include "receiver/CUniden250.h"
#include "receiver/CUniden780.h"
#include "receiver/CUnidenDynamic.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace velkor;

namespace {

constexpr unsigned kReadTimeoutMs = 0;
// Below the line discipline's buffer, so that writing the input never blocks.
constexpr size_t kMaxLineBytes = 3000;

class Line {
public:
    Line()
    {
        char name[256] = {};
        FUZZ_CHECK(::openpty(&m_master, &m_slaveKeeper, name, nullptr, nullptr) == 0);
        m_device = name;
        termios t{};
        ::tcgetattr(m_slaveKeeper, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slaveKeeper, TCSANOW, &t);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }

    const std::string& device() const { return m_device; }

    // Empties both directions.
    void reset()
    {
        ::tcflush(m_slaveKeeper, TCIOFLUSH);
        sent();
    }

    // Puts the bytes into the port's input queue and returns once they are all there
    // (the terminal layer moves them over on a kernel thread of its own).
    void send(const uint8_t* data, size_t size)
    {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_master, data + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        for (int spins = 0; queued() < done; ++spins) {
            FUZZ_CHECK(spins < 1000000);
            ::sched_yield();
        }
    }

    // What the driver has written since the last call, waiting a while for the rest of
    // a command whose start is there.
    std::string sentWhole()
    {
        std::string out = sent();
        for (int waits = 0; !out.empty() && out.back() != '\r' && waits < 100; ++waits) {
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 2);
            out += sent();
        }
        return out;
    }

    // What the driver has written since the last call.
    std::string sent()
    {
        std::string out;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }

private:
    size_t queued() const
    {
        int n = 0;
        FUZZ_CHECK(::ioctl(m_slaveKeeper, FIONREAD, &n) == 0);
        return static_cast<size_t>(n);
    }

    int m_master = -1;
    int m_slaveKeeper = -1;
    std::string m_device;
};

std::unique_ptr<CReceiverCtrl> makeDriver(uint8_t selector, const std::string& device)
{
    static constexpr uint32_t kMemories[] = {0, 1, 100, 250, 500, 501, 1000, 1001};
    const uint32_t memory = kMemories[(selector >> 2) % std::size(kMemories)];
    switch (selector % 3) {
    case 0:
        return std::make_unique<CUniden250>(device, memory, 19200, 8, 0, 2, kReadTimeoutMs);
    case 1:
        return std::make_unique<CUniden780>(device, memory, 19200, 8, 0, 2, kReadTimeoutMs);
    default:
        return std::make_unique<CUnidenDynamic>(device, 115200, 8, 0, 0, kReadTimeoutMs);
    }
}

void operate(CReceiverCtrl& driver, uint8_t op)
{
    switch (op % 10) {
    case 0:
        FUZZ_CHECK(driver.initialize() >= 0);
        break;
    case 1:
        (void)driver.setFrequency(420.0125, 0);
        break;
    case 2:
        (void)driver.setFrequency(1299.99995, 1);
        break;
    case 3: {
        const double mhz = driver.getFrequency();
        FUZZ_CHECK(std::isfinite(mhz) && mhz >= 0.0);
        break;
    }
    case 4:
        (void)driver.setText("Fleet 12\rRF00000000");
        break;
    case 5:
        (void)driver.setText2(op & 0x80 ? nullptr : "Unit 7");
        break;
    case 6:
        (void)driver.startScan();
        break;
    case 7: {
        const int open = driver.isSquelchOpen();
        FUZZ_CHECK(open == 0 || open == 1);
        break;
    }
    case 8:
        (void)driver.setBacklight(op & 0x80 ? 2 : op & 0x40 ? 1 : 0);
        break;
    default:
        // A whole tracking session: the call tracker's order of operations.
        driver.initialize();
        driver.setFrequency(420.0125, 1);
        driver.setText("Fleet");
        driver.setText2("Unit");
        driver.isSquelchOpen();
        driver.getFrequency();
        driver.setText2(nullptr);
        driver.startScan();
        break;
    }
}

// Every command goes out whole: text from a reply never ends one early or splits it.
void checkCommands(const std::string& sent)
{
    FUZZ_CHECK(sent.find('\0') == std::string::npos);
    FUZZ_CHECK(sent.empty() || sent.back() == '\r');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Line line;
    if (size < 2)
        return 0;
    line.reset();
    std::string sent;
    {
        const auto driver = makeDriver(data[0], line.device());
        sent += line.sent();
        line.send(data + 2, std::min(size - 2, kMaxLineBytes));
        operate(*driver, data[1]);
        sent += line.sent();
    }
    sent += line.sentWhole();
    checkCommands(sent);
    return 0;
}
