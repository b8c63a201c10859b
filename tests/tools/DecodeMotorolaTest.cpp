// velkor-decode on a recording that holds an MPT 1327 control channel and then a
// Motorola one: both decoders run on every block, and the Motorola lines come out
// after the MPT 1327 ones. (Rates where the FSK demodulator decodes: 48000, 36000.)
#include "fixtures/Process.h"
#include "signal/MotorolaGen.h"
#include "signal/Mpt1327Gen.h"
#include "signal/Nrz.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// velkor-decode's lines, and its exit status where it is not 0.
std::vector<std::string> runDecode(const std::string& wav)
{
    const auto r = testsignal::runTool(VELKOR_DECODE, {wav});
    std::vector<std::string> lines = testsignal::splitLines(r.out);
    if (r.status != 0)
        lines.push_back("exit status " + std::to_string(r.status));
    return lines;
}

class DecodeMotorola : public testing::TestWithParam<int> { };

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
        std::vector<motogen::Word>{motogen::radio(77), motogen::site(2), motogen::grant(1500, 451), motogen::radio(78)};
    testsignal::NrzOptions no;
    no.rate = rate;
    no.gaussianBt = 0.5;
    const auto moto = testsignal::nrz(motogen::stream(words), no);
    audio.insert(audio.end(), moto.begin(), moto.end());
    audio.insert(audio.end(), static_cast<size_t>(rate / 10), 0.0);
    testsignal::addNoise(audio, 20.0, 42);
    const auto pcm = testsignal::toPcm16(audio);

    // The system codeword, the Aloha (function 0: no line) and the marker, then the
    // Motorola words.
    const std::vector<std::string> expected = {
        "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1",
        "MARK | Control channel marker          | (Act. Chan:   1)",
        "SYSAN| System 0x05A5 on control channel 3",
        "SITE | System 0x05A5 Site 2",
        "VCALL| Call to 1500 from 700077 on channel 451",
    };

    const testsignal::TempDir dir;
    testsignal::writeWav(dir.file("motorola.wav"), pcm, rate);
    EXPECT_EQ(runDecode(dir.file("motorola.wav")), expected);
}

INSTANTIATE_TEST_SUITE_P(Rates, DecodeMotorola, testing::Values(48000, 36000));

} // namespace
