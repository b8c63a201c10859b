// velkor-decode on a recording that holds an MPT 1327 control channel and then a
// Motorola one: both decoders run on every block, and the Motorola lines come out
// after the MPT 1327 ones. (Rates where the FSK demodulator decodes: 48000, 36000.)
#include "decoders/CMPT1327.h"
#include "signal/MotorolaGen.h"
#include "signal/Mpt1327Gen.h"
#include "signal/Nrz.h"
#include "signal/RecordingSink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> runDecode(const std::string& wav)
{
    const std::string command = std::string(VELKOR_DECODE) + " '" + wav + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {"popen failed"};
    std::vector<std::string> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    const int status = pclose(pipe);
    if (status != 0)
        lines.push_back("exit status " + std::to_string(status));
    return lines;
}


class DecodeMotorola : public testing::TestWithParam<int> {};

TEST_P(DecodeMotorola, MptThenMotorolaOnOneRecording)
{
    const int rate = GetParam();

    mptgen::ControlChannel cc(0x0089, 32);
    cc.slot(mptgen::misc(0, 1));
    testsignal::FfskOptions fo;
    fo.rate = rate;
    fo.leadSeconds = 0.1;
    fo.tailSeconds = 0.3;
    auto audio = testsignal::ffsk(cc.bits, fo);

    const auto words = motogen::systemAnnouncement(0x5A5, 0x2800 + 3) +
                       std::vector<motogen::Word>{motogen::radio(77), motogen::site(2), motogen::grant(1500, 451),
                                                  motogen::radio(78)};
    testsignal::NrzOptions no;
    no.rate = rate;
    no.gaussianBt = 0.5;
    const auto moto = testsignal::nrz(motogen::stream(words), no);
    audio.insert(audio.end(), moto.begin(), moto.end());
    audio.insert(audio.end(), static_cast<size_t>(rate / 10), 0.0);
    testsignal::addNoise(audio, 20.0, 42);
    const auto pcm = testsignal::toPcm16(audio);

    // The MPT 1327 lines as that decoder makes them of the same audio.
    testsignal::RecordingSink mptSink;
    CMPT1327 mpt(&mptSink, rate);
    mpt.ProcessSamples(pcm.data(), static_cast<unsigned>(pcm.size()));
    auto expected = mptSink.lines();
    ASSERT_FALSE(expected.empty());
    for (const char* line : {"SYSAN| System 0x05A5 on control channel 3", "SITE | System 0x05A5 Site 2",
                             "VCALL| Call to 1500 from 700077 on channel 451"})
        expected.push_back(line);

    const std::string wav = testing::TempDir() + "motorola_" + std::to_string(rate) + ".wav";
    testsignal::writeWav(wav, pcm, rate);
    EXPECT_EQ(runDecode(wav), expected);
    std::remove(wav.c_str());
}

INSTANTIATE_TEST_SUITE_P(Rates, DecodeMotorola, testing::Values(48000, 36000));

} // namespace
