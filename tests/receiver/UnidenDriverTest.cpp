#include "DriverFixture.h"

#include <gtest/gtest.h>

namespace {

using Commands = std::vector<std::string>;

// Runs against both members of the short-command family.
class UnidenDriver : public ::testing::TestWithParam<ScannerFamily> {
protected:
    ScannerFamily family() const { return GetParam(); }
    bool is250() const { return family() == ScannerFamily::Uniden250; }
    unsigned manualKey() const { return is250() ? 7 : 1; }
    unsigned scanKey() const { return is250() ? 1 : 0; }
    unsigned resumeKey() const { return is250() ? 0 : 8; }
    static std::string key(unsigned code)
    {
        char b[8];
        std::snprintf(b, sizeof b, "KEY%02u", code);
        return b;
    }

    // Builds and initialises a driver, then forgets what construction sent.
    std::unique_ptr<CUniden250> start(uint32_t memory, int expectInit = 1)
    {
        auto driver = makeUniden(family(), m_sim.devicePath(), memory);
        EXPECT_EQ(driver->initialize(), expectInit);
        m_sim.clearReceived();
        return driver;
    }

    ScannerSimulator m_sim{GetParam()};
};

TEST_P(UnidenDriver, ConstructionWakesTheScannerAndDestructionLeavesMemoryZeroAlone)
{
    auto driver = makeUniden(family(), m_sim.devicePath(), 0);
    EXPECT_EQ(m_sim.received(), kWakeUp);
    EXPECT_EQ(driver->initialize(), 1);
    driver.reset();
    EXPECT_EQ(m_sim.received(), kWakeUp); // no bank-tag query, no "TA B" on the way out
}

TEST_P(UnidenDriver, MemoryZeroTunesDirectlyAndSendsNoTexts)
{
    auto driver = start(0);
    EXPECT_EQ(driver->setFrequency(420.0125, 1), 1);
    EXPECT_EQ(driver->setFrequency(153.4, 0), 1);
    EXPECT_EQ(driver->setText("Fleet 12"), 0);
    EXPECT_EQ(driver->setText2("Unit 7"), 0);
    EXPECT_EQ(driver->setText2(nullptr), 0);
    EXPECT_EQ(m_sim.received(), "RF04200125\rRF01534000\r");
}

TEST_P(UnidenDriver, MemoryChannelIsReprogrammedAfterTheManualKey)
{
    m_sim.setMode(2);
    auto driver = start(5);
    EXPECT_EQ(driver->setFrequency(420.0125, 1), 1);
    EXPECT_EQ(driver->setFrequency(420.025, 0), 1);
    const std::string manual = key(manualKey()) + "\r";
    EXPECT_EQ(m_sim.received(),
              "MD\r" + manual +
                  "PM005 04200125\rLON\rRM NFM\r"
                  "MD\r" +
                  manual + "PM005 04200250\rLON\rRM FM\r");
}

TEST_P(UnidenDriver, MemoryLimitsAndBankLetters)
{
    const struct {
        uint32_t memory;
        int init250, init780;
        char bank250, bank780;
    } cases[] = {
        {1, 1, 1, 'A', 'A'},   {50, 1, 1, 'A', 'A'}, {51, 1, 1, 'A', 'B'}, {100, 1, 1, 'A', 'B'}, {101, 1, 1, 'B', 'C'},
        {500, 1, 1, 'E', 'J'}, {501, 1, 0, 'F', 0},  {1000, 1, 0, 'J', 0}, {1001, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.memory);
        m_sim.clearReceived();
        const int init = is250() ? c.init250 : c.init780;
        const char bank = is250() ? c.bank250 : c.bank780;
        {
            auto driver = makeUniden(family(), m_sim.devicePath(), c.memory);
            EXPECT_EQ(driver->initialize(), init);
        }
        if (init)
            EXPECT_EQ(m_sim.commands(),
                      (Commands{"IDF", "CDF", "QUF", std::string("TA B ") + bank,
                                std::string("TA B ") + bank + " " + m_sim.bankTag(bank)}));
        else // refused before any query, and nothing written back
            EXPECT_EQ(m_sim.received(), kWakeUp);
    }
}

TEST_P(UnidenDriver, BankLetterTable)
{
    auto driver = start(0);
    const unsigned perBank = is250() ? 100 : 50;
    EXPECT_EQ(driver->getBankLetter(0), 'A');
    for (unsigned bank = 0; bank < 10; ++bank) {
        EXPECT_EQ(driver->getBankLetter(bank * perBank + 1), 'A' + bank);
        EXPECT_EQ(driver->getBankLetter((bank + 1) * perBank), 'A' + bank);
    }
    EXPECT_EQ(driver->getSearchKey(), 9u);
}

TEST_P(UnidenDriver, FourDigitChannelIsSentWhole)
{
    if (!is250())
        GTEST_SKIP() << "the 780 has 500 channels";
    m_sim.setMode(1);
    auto driver = start(1000);
    EXPECT_EQ(driver->setFrequency(420.0125, 1), 1);
    EXPECT_EQ(m_sim.received(), "MD\rPM1000 04200125\rLON\rRM NFM\r");
}

TEST_P(UnidenDriver, BankTagIsBorrowedAndGivenBack)
{
    m_sim.setBankTag('A', "My Bank");
    auto driver = start(7);
    EXPECT_EQ(driver->bankTag(), "My Bank");
    EXPECT_EQ(driver->setText("Caller"), 1);
    EXPECT_EQ(driver->setText2("Called"), 1);
    EXPECT_EQ(m_sim.bankTag('A'), "Called");
    EXPECT_EQ(driver->setText2(nullptr), 1);
    EXPECT_EQ(m_sim.bankTag('A'), "My Bank");
    EXPECT_EQ(driver->setText2("Again"), 1);
    driver.reset();
    EXPECT_EQ(m_sim.bankTag('A'), "My Bank");
    EXPECT_EQ(m_sim.received(), "TA C 007 Caller\rTA B A Called\rTA B A My Bank\rTA B A Again\rTA B A My Bank\r");
}

TEST_P(UnidenDriver, TagNeverReadIsNeverWrittenBack)
{
    // No reply to the bank-tag query: initialisation fails, and neither setText2(null)
    // nor destruction may write an empty tag over the user's.
    m_sim.setBankTag('A', "Keep me");
    m_sim.overrideReply("TA B A", std::nullopt);
    {
        auto driver = makeUniden(family(), m_sim.devicePath(), 3);
        EXPECT_EQ(driver->initialize(), 0);
        EXPECT_EQ(driver->setText2(nullptr), 0);
    }
    EXPECT_EQ(m_sim.commands(), (Commands{"IDF", "CDF", "QUF", "TA B A"}));
    EXPECT_EQ(m_sim.bankTag('A'), "Keep me");
}

TEST_P(UnidenDriver, TextsThatCannotFitOneLineAreClippedAndStayOneCommand)
{
    auto driver = start(5);
    EXPECT_EQ(driver->setText("two\r\nlines"), 1);
    const std::string longName(300, 'n');
    EXPECT_EQ(driver->setText(longName.c_str()), 1);
    const Commands commands = m_sim.commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], "TA C 005 two  lines");
    EXPECT_EQ(commands[1].size(), 126u);
    EXPECT_EQ(commands[1].rfind("TA C 005 nnn", 0), 0u);
}

TEST_P(UnidenDriver, ManualModeKeysPerMode)
{
    const unsigned S = 9, R = resumeKey(), M = manualKey();
    const struct {
        unsigned mode;
        std::vector<unsigned> keys;
    } cases[] = {
        {0, {}},      {1, {}},         {2, {M}},     {8, {M}},        {9, {R, M}}, {10, {S, R, M}},
        {11, {R, M}}, {12, {S, R, M}}, {19, {R, M}}, {20, {S, R, M}}, {21, {M}},   {99, {M}},
    };
    auto driver = start(5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        m_sim.setMode(c.mode);
        m_sim.clearReceived();
        EXPECT_EQ(driver->setFrequency(420.0, 0), 1);
        Commands expected{"MD"};
        for (unsigned k : c.keys)
            expected.push_back(key(k));
        expected.insert(expected.end(), {"PM005 04200000", "LON", "RM FM"});
        EXPECT_EQ(m_sim.commands(), expected);
    }
}

TEST_P(UnidenDriver, RefusedKeyEndsTheKeySequenceButNotTheTuning)
{
    m_sim.setMode(12);
    m_sim.overrideReply("KEY09", "ERR");
    auto driver = start(5);
    EXPECT_EQ(driver->setFrequency(420.0, 0), 1);
    EXPECT_EQ(m_sim.commands(), (Commands{"MD", "KEY09", "PM005 04200000", "LON", "RM FM"}));
}

TEST_P(UnidenDriver, ModeReplyWithoutDigitsReadsAsModeZero)
{
    m_sim.overrideReply("MD", "MDxx");
    auto driver = start(5);
    EXPECT_EQ(driver->setFrequency(420.0, 0), 1);
    EXPECT_EQ(driver->startScan(), 1);
    EXPECT_EQ(m_sim.commands(), (Commands{"MD", "PM005 04200000", "LON", "RM FM", "MD", key(scanKey())}));
}

TEST_P(UnidenDriver, StartScanReadsBothModeDigits)
{
    auto driver = start(0);
    for (unsigned mode : {0u, 1u, 5u, 8u, 9u, 10u, 12u, 19u, 20u, 35u}) {
        SCOPED_TRACE(mode);
        m_sim.setMode(mode);
        m_sim.clearReceived();
        EXPECT_EQ(driver->startScan(), 1);
        EXPECT_EQ(m_sim.commands(), (Commands{"MD", key(mode <= 8 ? scanKey() : resumeKey())}));
    }
}

TEST_P(UnidenDriver, ReadsFrequencyAndSquelch)
{
    auto driver = start(0);
    m_sim.setFrequency(4200125);
    EXPECT_DOUBLE_EQ(driver->getFrequency(), 420.0125);
    m_sim.setSquelchOpen(true);
    EXPECT_EQ(driver->isSquelchOpen(), 1);
    m_sim.setSquelchOpen(false);
    EXPECT_EQ(driver->isSquelchOpen(), 0);
    EXPECT_EQ(m_sim.received(), "SG\rSQ\rSQ\r");
}

TEST_P(UnidenDriver, OddFrequencyReplies)
{
    const struct {
        const char* reply;
        double mhz;
    } cases[] = {
        {"C001 F04200125 TN", 420.0125}, {"C001 F042001259999", 420.0125}, // position 14 on is cut off
        {"C001 F0420", 0.042},           {"C001 X04200125", 0.0},          {"C001 F", 0.0}, {"SG", 0.0},
    };
    auto driver = start(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        m_sim.overrideReply("SG", c.reply);
        EXPECT_DOUBLE_EQ(driver->getFrequency(), c.mhz);
    }
}

TEST_P(UnidenDriver, BacklightLevels)
{
    auto driver = start(0);
    for (int level : {0, 1, 2, 7, -1})
        EXPECT_EQ(driver->setBacklight(level), 1);
    EXPECT_EQ(m_sim.received(), "LTN\rLTD\rLTF\rLTD\rLTD\r");
}

TEST_P(UnidenDriver, ErrAndGarbageFailEveryOperation)
{
    for (ScannerBehaviour behaviour : {ScannerBehaviour::Err, ScannerBehaviour::Garbage}) {
        m_sim.setBehaviour(ScannerBehaviour::Normal);
        m_sim.setSquelchOpen(true);
        auto driver = start(5);
        m_sim.setBehaviour(behaviour);
        EXPECT_EQ(driver->setFrequency(420.0, 1), 0);
        EXPECT_DOUBLE_EQ(driver->getFrequency(), 0.0);
        EXPECT_EQ(driver->isSquelchOpen(), 0);
        EXPECT_EQ(driver->startScan(), 0);
        EXPECT_EQ(driver->setText("x"), 0);
        EXPECT_EQ(driver->setText2("y"), 0);
        EXPECT_EQ(driver->setBacklight(0), 0);
        // A refused "MD" ends the key sequence; a refused "PM" ends the tuning.
        const Commands commands = m_sim.commands();
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(commands[0], "MD");
        EXPECT_EQ(commands[1], "PM005 04200000");
        EXPECT_EQ(commands[2], "SG");
    }
}

TEST_P(UnidenDriver, SilentScannerCostsOneTimeoutPerExpectedLine)
{
    m_sim.setSquelchOpen(true);
    auto driver = start(5);
    m_sim.setBehaviour(ScannerBehaviour::Silent);
    int result = -1;
    const long ms = elapsedMs([&] { result = driver->setFrequency(420.0, 1); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(m_sim.commands(), (Commands{"MD", "PM005 04200000"}));
    EXPECT_LT(ms, 2 * static_cast<long>(kTestTimeoutMs) + 400);
    EXPECT_EQ(driver->isSquelchOpen(), 0);
    EXPECT_DOUBLE_EQ(driver->getFrequency(), 0.0);
    EXPECT_EQ(driver->startScan(), 0);
}

TEST_P(UnidenDriver, UnsolicitedLineIsTakenAsTheReply)
{
    // This command set has no reply prefix to wait for: a line the scanner sends on
    // its own answers the command, and the real reply answers the next one.
    auto driver = start(0);
    m_sim.sendLine("STS,noise");
    EXPECT_EQ(driver->setFrequency(420.0, 0), 0);
    EXPECT_EQ(driver->setFrequency(420.0, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, UnidenDriver, ::testing::Values(ScannerFamily::Uniden250, ScannerFamily::Uniden780),
                         [](const auto& info) {
                             return info.param == ScannerFamily::Uniden250 ? "Uniden250" : "Uniden780";
                         });

TEST(UnidenConstruction, PortThatCannotBeOpenedThrowsTheFixedText)
{
    try {
        CUniden780 driver("/dev/velkor-no-such-port", 0, 19200, 8, 0, 2, kTestTimeoutMs);
        FAIL() << "constructed";
    } catch (const SerialPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port!");
        EXPECT_NE(e.reason().find("/dev/velkor-no-such-port"), std::string::npos);
    }
    EXPECT_THROW(CUniden250("", 0, 19200, 8, 0, 2, kTestTimeoutMs), SerialPortError);
}

TEST(UnidenConstruction, BusyPortThrows)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    CUniden780 first(sim.devicePath(), 0, 19200, 8, 0, 2, kTestTimeoutMs);
    EXPECT_THROW(CUniden780(sim.devicePath(), 0, 19200, 8, 0, 2, kTestTimeoutMs), SerialPortError);
}

} // namespace
