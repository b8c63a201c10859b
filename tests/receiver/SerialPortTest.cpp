#include "receiver/SerialPort.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace velkor;

namespace {

// A bare pseudo-terminal: the test holds the master ("the scanner's side") and the
// port under test opens the slave.
class Pty {
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(m_master, 0);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        char name[128] = {};
        ::ptsname_r(m_master, name, sizeof name);
        m_slave = name;
    }
    ~Pty() { closeMaster(); }
    const std::string& slave() const { return m_slave; }
    int master() const { return m_master; }
    void send(const std::string& bytes)
    {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    termios settings() const
    {
        termios t{};
        ::tcgetattr(m_master, &t); // termios requests on the master act on the slave
        return t;
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slave;
};

constexpr unsigned kShortTimeoutMs = 60;

speed_t speedOf(const termios& t)
{
    return ::cfgetospeed(&t);
}

velkor::Status openDefault(SerialPort& port, const std::string& device)
{
    return port.open(device, 19200, 8, 0, 2);
}

TEST(SerialPort, OpenSetsRaw19200EightNoneTwoWithoutFlowControl)
{
    Pty pty;
    SerialPort port;
    ASSERT_EQ(openDefault(port, pty.slave()).error(), "");
    const termios t = pty.settings();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_oflag & OPOST);
}

TEST(SerialPort, LineSettingsFollowTheArguments)
{
    const struct {
        unsigned baud;
        uint8_t bits, parity, stop;
        speed_t speed;
        tcflag_t size;
        bool parenb, parodd, twoStop;
    } cases[] = {
        {9600, 8, 0, 0, B9600, CS8, false, false, false},
        {4800, 8, 0, 2, B4800, CS8, false, false, true},
        {115200, 8, 0, 0, B115200, CS8, false, false, false},
    };
    for (const auto& c : cases) {
        Pty pty;
        SerialPort port;
        ASSERT_EQ(port.open(pty.slave(), c.baud, c.bits, c.parity, c.stop).error(), "");
        const termios t = pty.settings();
        EXPECT_EQ(::cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ((t.c_cflag & PARENB) != 0, c.parenb);
        EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parodd);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    }
}

TEST(SerialPort, CloseRestoresTheSettingsFoundAtOpen)
{
    Pty pty;
    // Settings another program might have left: cooked, echoing, 9600 7E1.
    termios before{};
    const int slave = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ::tcgetattr(slave, &before);
    before.c_lflag |= ICANON | ECHO;
    before.c_cflag = (before.c_cflag & ~static_cast<tcflag_t>(CSIZE | CSTOPB)) | CS7 | PARENB;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &before), 0);
    ::close(slave);
    const termios expected = pty.settings();

    SerialPort port;
    ASSERT_EQ(openDefault(port, pty.slave()).error(), "");
    EXPECT_EQ(speedOf(pty.settings()), static_cast<speed_t>(B19200));
    EXPECT_EQ(port.close(), 1);
    const termios after = pty.settings();
    EXPECT_EQ(after.c_cflag, expected.c_cflag);
    EXPECT_EQ(after.c_lflag, expected.c_lflag);
    EXPECT_EQ(after.c_iflag, expected.c_iflag);
    EXPECT_EQ(after.c_oflag, expected.c_oflag);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(port.close(), 1); // nothing open any more
}

TEST(SerialPort, IsExclusiveAndOpeningTwiceChangesNothing)
{
    Pty pty;
    SerialPort first;
    SerialPort second;
    ASSERT_EQ(openDefault(first, pty.slave()).error(), "");
    const velkor::Status busy = openDefault(second, pty.slave());
    EXPECT_EQ(busy.error(), "In use by another program: " + pty.slave() + ": " + std::strerror(EBUSY));
    EXPECT_EQ(second.lastError(), EBUSY);
    EXPECT_FALSE(second.isOpen());

    // Opening the open port again succeeds without touching the settings.
    EXPECT_EQ(first.open(pty.slave(), 9600, 7, 2, 0).error(), "");
    EXPECT_EQ(speedOf(pty.settings()), static_cast<speed_t>(B19200));

    first.close();
    EXPECT_EQ(openDefault(second, pty.slave()).error(), "");
}

TEST(SerialPort, RefusedSettingsCloseThePortAndReportTheRefusal)
{
    Pty pty;
    const termios before = pty.settings();
    SerialPort port;
    EXPECT_FALSE(port.open(pty.slave(), 12345, 8, 0, 2).ok());
    EXPECT_EQ(port.lastError(), EINVAL);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.open(pty.slave(), 19200, 8, 0, 1).ok()); // one and a half stop bits
    // A pseudo-terminal accepts the request but keeps 8 bits without parity: the
    // port checks what was applied and refuses a device that dropped settings.
    EXPECT_FALSE(port.open(pty.slave(), 9600, 7, 2, 0).ok());
    EXPECT_EQ(port.lastError(), EINVAL);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(pty.settings().c_cflag, before.c_cflag);
    // And the port is free again.
    EXPECT_EQ(openDefault(port, pty.slave()).error(), "");
}

TEST(SerialPort, DevicesThatCannotBeOpenedAreRefusedClearly)
{
    SerialPort port;
    EXPECT_EQ(openDefault(port, "/dev/velkor-no-such-port").error(),
              std::string("Cannot open /dev/velkor-no-such-port: ") + std::strerror(ENOENT));
    EXPECT_EQ(port.lastError(), ENOENT);
    EXPECT_FALSE(openDefault(port, "/dev/null").ok());
    EXPECT_EQ(port.lastError(), ENOTTY);
}

TEST(SerialPort, ClosedPortDoesNothing)
{
    SerialPort port;
    char buffer[8] = "keep";
    EXPECT_EQ(port.write("x", 1), 0u);
    EXPECT_EQ(port.lastError(), EBADF);
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(port.readLine(buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(port.setReadTimeout(10), 1);
    EXPECT_EQ(port.close(), 1);
}

class SerialPortLines : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(openDefault(m_port, m_pty.slave()).error(), "");
        m_port.setReadTimeout(kShortTimeoutMs);
    }
    Pty m_pty;
    SerialPort m_port;
};

TEST_F(SerialPortLines, LineEndsAtCarriageReturnWhichIsNotStored)
{
    m_pty.send("OK\rA\nB\r");
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(m_port.readLine(buffer, sizeof buffer), 2u);
    EXPECT_STREQ(buffer, "OK");
    EXPECT_EQ(m_port.readLine(buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "A\nB");
}

TEST_F(SerialPortLines, LoneCarriageReturnAndSilenceLeaveTheBufferAlone)
{
    m_pty.send("\r");
    char buffer[16] = "before";
    EXPECT_EQ(m_port.readLine(buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "before");
    EXPECT_EQ(m_port.readLine(buffer, sizeof buffer), 0u); // nothing at all: one time-out
    EXPECT_STREQ(buffer, "before");
}

TEST_F(SerialPortLines, LongLineFillsTheBufferAndDropsOneByte)
{
    std::string line;
    for (int i = 0; i < 200; ++i)
        line += static_cast<char>('0' + i % 75);
    m_pty.send(line);
    char buffer[128];
    EXPECT_EQ(m_port.readLine(buffer, sizeof buffer), 127u);
    EXPECT_EQ(std::string(buffer), line.substr(0, 127));
    char rest[256];
    const unsigned got = m_port.read(rest, sizeof rest);
    ASSERT_EQ(got, 72u);
    EXPECT_EQ(std::string(rest, got), line.substr(128));
}

TEST_F(SerialPortLines, ReadAndWriteCarryBytesBothWays)
{
    EXPECT_EQ(m_port.write("RF04200125\r", 11), 11u);
    char echo[32] = {};
    ASSERT_EQ(::read(m_pty.master(), echo, sizeof echo), 11);
    EXPECT_STREQ(echo, "RF04200125\r");

    m_pty.send(std::string("\0\xFF\r", 3));
    char in[8];
    EXPECT_EQ(m_port.read(in, 3), 3u);
    EXPECT_EQ(std::string(in, 3), std::string("\0\xFF\r", 3));
}

TEST_F(SerialPortLines, VanishedDeviceEndsReadsAtOnce)
{
    m_pty.send("partial");
    m_pty.closeMaster();
    m_port.setReadTimeout(60000); // a hang would show as a test time-out
    char buffer[64];
    EXPECT_LE(m_port.readLine(buffer, sizeof buffer), 7u);
    EXPECT_EQ(m_port.readLine(buffer, sizeof buffer), 0u);
    EXPECT_EQ(m_port.read(buffer, sizeof buffer), 0u);
}

} // namespace
