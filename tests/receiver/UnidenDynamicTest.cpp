#include "DriverFixture.h"

#include <gtest/gtest.h>

namespace {

using Commands = std::vector<std::string>;

class UnidenDynamic : public ::testing::Test {
protected:
    std::unique_ptr<CUnidenDynamic> start()
    {
        auto driver = std::make_unique<CUnidenDynamic>(m_sim.devicePath(), 19200, 8, 0, 2, kTestTimeoutMs);
        EXPECT_EQ(driver->initialize(), 1);
        return driver;
    }
    ScannerSimulator m_sim{ScannerFamily::Dynamic};
};

TEST_F(UnidenDynamic, SendsNothingOfItsOwnAndKeepsNoTexts)
{
    auto driver = start();
    EXPECT_EQ(driver->setText("a"), 0);
    EXPECT_EQ(driver->setText2(nullptr), 0);
    driver.reset();
    EXPECT_EQ(m_sim.received(), "");
}

TEST_F(UnidenDynamic, QuickSearchHoldTunes)
{
    auto driver = start();
    EXPECT_EQ(driver->setFrequency(420.0125, 1), 1);
    EXPECT_EQ(driver->setFrequency(162.55, 0), 1);
    m_sim.setSquelchOpen(true);
    EXPECT_DOUBLE_EQ(driver->getFrequency(), 162.55);
    EXPECT_EQ(driver->isSquelchOpen(), 1);
    EXPECT_EQ(driver->startScan(), 1);
    EXPECT_EQ(m_sim.received(),
              "QSH,04200125,1250,NFM,0,0,0,0,0000000000000000,0,0\r"
              "QSH,01625500,2500,FM,0,0,0,0,0000000000000000,0,0\r"
              "GLG\rGLG\rKEY,S,P\r");
}

TEST_F(UnidenDynamic, QshReplyMustBeOk)
{
    m_sim.overrideReply("QSH", "QSH,NG");
    auto driver = start();
    EXPECT_EQ(driver->setFrequency(420.0125, 1), 0);
}

TEST_F(UnidenDynamic, FrequencyAndSquelchFromGlg)
{
    const struct {
        const char* reply;
        double mhz;
        int open;
    } cases[] = {
        {"GLG,04200125,NFM,0,0,S,G,C,1,0,,0", 420.0125, 1},
        {"GLG,04200125,NFM,0,0,S,G,C,0,0,,0", 420.0125, 0},
        {"GLG,04200125,NFM,0,0,S,G,C,1", 420.0125, 1},
        {"GLG,04200125,NFM,0,0,S,G,C", 420.0125, 0}, // fewer than eight commas
        {"GLG,0420012599,FM,,,,,,1", 420.0125, 1},   // position 12 on is cut off
        {"GLG,,,,,,,,,,,", 0.0, 0},                  // nothing received
        {"GLG", 0.0, 0},
        {"ERR", 0.0, 0},
    };
    auto driver = start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        m_sim.overrideReply("GLG", c.reply);
        EXPECT_DOUBLE_EQ(driver->getFrequency(), c.mhz);
        EXPECT_EQ(driver->isSquelchOpen(), c.open);
    }
}

TEST_F(UnidenDynamic, ScanAndBacklight)
{
    auto driver = start();
    EXPECT_EQ(driver->startScan(), 1);
    EXPECT_EQ(driver->setBacklight(0), 1);
    EXPECT_EQ(driver->setBacklight(1), 1);
    EXPECT_EQ(driver->setBacklight(2), 1);
    EXPECT_EQ(driver->setBacklight(5), 1);
    EXPECT_EQ(m_sim.commands(),
              (Commands{"KEY,S,P", "PRG", "BKL,HIGH,RED", "EPG", "PRG", "BKL,MIDL,RED", "EPG", "PRG", "BKL,OFF,RED",
                        "EPG", "PRG", "BKL,OFF,RED", "EPG"}));
}

TEST_F(UnidenDynamic, BacklightStopsAtTheFirstRefusal)
{
    auto driver = start();
    m_sim.overrideReply("EPG", "ERR");
    EXPECT_EQ(driver->setBacklight(0), 0);
    m_sim.overrideReply("EPG", "EPG,OK");
    m_sim.overrideReply("BKL", "BKL,NG");
    m_sim.clearReceived();
    EXPECT_EQ(driver->setBacklight(2), 0);
    EXPECT_EQ(m_sim.commands(), (Commands{"PRG", "BKL,OFF,RED"}));
}

TEST_F(UnidenDynamic, UnsolicitedLinesBeforeTheReplyAreSkipped)
{
    m_sim.setUnsolicited("STS,011000,Scanning");
    m_sim.setSquelchOpen(true);
    auto driver = start();
    EXPECT_EQ(driver->setFrequency(420.0125, 1), 1);
    EXPECT_DOUBLE_EQ(driver->getFrequency(), 420.0125);
    EXPECT_EQ(driver->isSquelchOpen(), 1);
    EXPECT_EQ(driver->startScan(), 1);
}

TEST_F(UnidenDynamic, SilenceErrAndGarbage)
{
    auto driver = start();
    for (ScannerBehaviour behaviour : {ScannerBehaviour::Silent, ScannerBehaviour::Err, ScannerBehaviour::Garbage}) {
        m_sim.setBehaviour(behaviour);
        int result = -1;
        // Waiting for a prefix: silence costs two read time-outs per expected line.
        const long ms = elapsedMs([&] { result = driver->setFrequency(420.0, 0); });
        EXPECT_EQ(result, 0);
        EXPECT_LT(ms, 2 * static_cast<long>(kTestTimeoutMs) + 400);
        EXPECT_DOUBLE_EQ(driver->getFrequency(), 0.0);
        EXPECT_EQ(driver->isSquelchOpen(), 0);
        EXPECT_EQ(driver->startScan(), 0);
        EXPECT_EQ(driver->setBacklight(1), 0);
    }
}

TEST_F(UnidenDynamic, EndlessChatterDoesNotHoldTheProgram)
{
    // A line before every reply, and every reply itself a stranger: the wait for the
    // prefix gives up after a bounded number of lines.
    m_sim.overrideReply("GLG", "STS,chatter");
    m_sim.setUnsolicited("STS,more");
    auto driver = start();
    EXPECT_DOUBLE_EQ(driver->getFrequency(), 0.0);
}

} // namespace
