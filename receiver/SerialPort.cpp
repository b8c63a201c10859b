#include "receiver/SerialPort.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velkor {

namespace {

int64_t nowMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

speed_t speedFor(unsigned baud)
{
    switch (baud) {
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

tcflag_t sizeFor(uint8_t bits)
{
    switch (bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    case 8:
        return CS8;
    default:
        return 0xFFFFFFFFu;
    }
}

} // namespace

velkor::Failure SerialPort::fail(const std::string& step, int err)
{
    m_lastError = err;
    std::string reason = step + " " + m_device + ": " + std::strerror(err);
    if (m_fd >= 0) {
        close();
        m_lastError = err; // the cause is the failed step, not anything the close did
    }
    errno = err;
    return velkor::fail(std::move(reason));
}

velkor::Status SerialPort::open(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                                uint8_t stopBits)
{
    if (isOpen())
        return {};
    m_device = device;
    m_exclusive = false;
    m_haveSaved = false;

    m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return fail("Cannot open", errno);
    if (!::isatty(m_fd))
        return fail("Not a serial device:", ENOTTY);
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        return fail("In use by another program:", errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(m_fd, TIOCEXCL) != 0)
        return fail("Cannot open exclusively", errno);
    m_exclusive = true;

    if (::tcgetattr(m_fd, &m_savedTermios) != 0)
        return fail("Cannot read the line settings of", errno);
    m_haveSaved = true;

    const speed_t speed = speedFor(baudRate);
    const tcflag_t size = sizeFor(byteSize);
    if (speed == B0 || size == 0xFFFFFFFFu || parity > 4 || (stopBits != 0 && stopBits != 2))
        return fail("Unsupported line settings for", EINVAL);

    termios t = m_savedTermios;
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | size;
    if (parity != 0) {
        t.c_cflag |= PARENB;
        t.c_iflag |= INPCK;
        if (parity == 1 || parity == 3)
            t.c_cflag |= PARODD;
        if (parity >= 3)
            t.c_cflag |= CMSPAR;
    }
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    // Reads poll for their own time-outs; the driver must never block in read().
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0)
        return fail("Cannot apply the line settings to", errno);

    // tcsetattr succeeds when any part applies; a device that dropped part of the
    // settings is refused as the Windows port would refuse them.
    termios check{};
    if (::tcgetattr(m_fd, &check) != 0)
        return fail("Cannot read the line settings of", errno);
    const tcflag_t mask = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
    if ((check.c_cflag & mask) != (t.c_cflag & mask) || ::cfgetospeed(&check) != speed)
        return fail("Line settings refused by", EINVAL);

    // DTR and RTS asserted while open. A pseudo-terminal has no modem lines.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(m_fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return fail("Cannot assert DTR and RTS on", errno);

    m_readTimeoutMs = kOpenReadTimeoutMs;
    m_lastError = 0;
    return {};
}

int SerialPort::close()
{
    if (m_fd < 0)
        return 1;
    if (m_haveSaved)
        ::tcsetattr(m_fd, TCSANOW, &m_savedTermios);
    if (m_exclusive)
        ::ioctl(m_fd, TIOCNXCL);
    const int rc = ::close(m_fd); // also releases the flock
    m_fd = -1;
    m_haveSaved = false;
    m_exclusive = false;
    return rc == 0 ? 1 : 0;
}

int SerialPort::setReadTimeout(unsigned ms)
{
    if (m_fd >= 0)
        m_readTimeoutMs = ms;
    return 1;
}

bool SerialPort::waitReady(Wait what, int64_t deadlineMs)
{
    for (;;) {
        const int64_t left = deadlineMs - nowMs();
        if (left <= 0)
            return false;
        pollfd p{m_fd, static_cast<short>(what == Wait::Read ? POLLIN : POLLOUT), 0};
        const int rc = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
        if (rc > 0)
            return true; // ready, or hung up / in error: the next call reports it
        if (rc < 0 && errno != EINTR) {
            m_lastError = errno;
            return false;
        }
    }
}

unsigned SerialPort::write(const void* data, unsigned count)
{
    if (m_fd < 0) {
        m_lastError = EBADF;
        return 0;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    const int64_t deadline = nowMs() + 1000 * static_cast<int64_t>(count) + 1000;
    unsigned written = 0;
    while (written < count) {
        const ssize_t n = ::write(m_fd, p + written, count - written);
        if (n > 0) {
            written += static_cast<unsigned>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_lastError = errno;
            break;
        }
        if (!waitReady(Wait::Write, deadline)) {
            m_lastError = ETIMEDOUT;
            break;
        }
    }
    return written;
}

velkor::Result<unsigned> SerialPort::readSome(unsigned char* buffer, unsigned count)
{
    const int64_t deadline = nowMs() + m_readTimeoutMs;
    unsigned got = 0;
    bool wasReady = false;
    while (got < count) {
        const ssize_t n = ::read(m_fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<unsigned>(n);
            wasReady = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            // A vanished device (USB cable pulled, pty closed) ends the read at once.
            m_lastError = errno;
            if (got == 0)
                return velkor::fail(m_device + ": " + std::strerror(m_lastError));
            break;
        }
        // Readable but nothing to read: end of file, which waiting cannot change.
        if (wasReady || !waitReady(Wait::Read, deadline))
            break;
        wasReady = true;
    }
    return got;
}

unsigned SerialPort::read(void* buffer, unsigned count)
{
    if (m_fd < 0) {
        m_lastError = EBADF;
        return 0;
    }
    const velkor::Result<unsigned> got = readSome(static_cast<unsigned char*>(buffer), count);
    return got ? *got : 0;
}

unsigned SerialPort::readLine(char* buffer, unsigned size)
{
    if (m_fd < 0) {
        m_lastError = EBADF;
        return 0;
    }
    if (size == 0)
        return 0;
    unsigned char c = 0;
    velkor::Result<unsigned> got = readSome(&c, 1);
    if (!got)
        return 0;
    unsigned i = 0;
    while (got && *got == 1 && i != size - 1 && c != '\r') {
        buffer[i++] = static_cast<char>(c);
        got = readSome(&c, 1);
    }
    if (i > 0)
        buffer[i] = '\0';
    return i;
}

} // namespace velkor
