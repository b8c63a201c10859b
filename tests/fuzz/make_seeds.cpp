// Writes the seed corpora of the fuzz targets: real traffic of each protocol as bits
// and as audio at two rates, settings and address book files, and scanner replies.
// Usage: make-fuzz-seeds CORPUS_DIR (normally tests/fuzz/corpus).
#include "signal/DemoScenario.h"
#include "signal/MotorolaGen.h"
#include "signal/Nmt450Gen.h"
#include "signal/Nrz.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsignal::Bits;

namespace {

fs::path g_root;

void write(const std::string& target, const std::string& name, const std::string& bytes)
{
    const fs::path dir = g_root / target;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string packBits(uint8_t selector, const Bits& bits)
{
    std::string out(1, static_cast<char>(selector));
    for (size_t i = 0; i < bits.size(); i += 8) {
        uint8_t byte = 0;
        for (size_t b = 0; b < 8; ++b)
            byte = static_cast<uint8_t>(byte << 1 | (i + b < bits.size() && bits[i + b] ? 1 : 0));
        out += static_cast<char>(byte);
    }
    return out;
}

std::string pcmBytes(uint8_t rateIndex, const testsignal::Samples& samples)
{
    std::string out(1, static_cast<char>(rateIndex));
    for (int16_t s : testsignal::toPcm16(samples)) {
        out += static_cast<char>(s & 0xFF);
        out += static_cast<char>((s >> 8) & 0xFF);
    }
    return out;
}

Bits mptBits()
{
    // The first slots of the demo traffic: a call set-up with its go-to-channel.
    mptgen::ControlChannel cc(0x0089, 16);
    cc.slot(mptgen::message(1, 100, 0, 2, 0, (200u << 5) | 0x10));
    cc.slot(mptgen::goToChannel(1, 100, 200, 17));
    cc.slot(mptgen::clearDown(17, 1));
    return cc.bits;
}

Bits nmtBits()
{
    Bits bits;
    nmtgen::append(bits, nmtgen::fromHex("201461eb00028000"));
    nmtgen::append(bits, nmtgen::fromHex("2015611234567190"));
    return bits;
}

Bits motorolaAir()
{
    using namespace motogen;
    return stream(std::vector<Word>{systemId(0x2A3), site(3)} + affiliation(0x1234, 0x0456) +
                  std::vector<Word>{radio(0x1234), grant(0x0456, 0x2D0)});
}

void audioSeeds()
{
    // Rate indexes of the target: 0 = 8000 Hz, 2 = 22050 Hz.
    for (auto [index, rate] : {std::pair<uint8_t, int>{0, 8000}, {2, 22050}}) {
        testsignal::FfskOptions f;
        f.rate = rate;
        f.leadSeconds = 0.003;
        write("fuzz_audio", "mpt1327-" + std::to_string(rate), pcmBytes(index, testsignal::ffsk(mptBits(), f)));
        write("fuzz_audio", "nmt450-" + std::to_string(rate), pcmBytes(index, testsignal::ffsk(nmtBits(), f)));
        testsignal::NrzOptions n;
        n.rate = rate;
        n.gaussianBt = 0.5;
        write("fuzz_audio", "motorola-" + std::to_string(rate), pcmBytes(index, testsignal::nrz(motorolaAir(), n)));
    }
}

// The same traffic as bits for the audio target to send itself (its modes 0x80-0x84).
void airSeeds()
{
    const auto air = [](uint8_t rateIndex, uint8_t how, const Bits& bits) {
        std::string out = packBits(how, bits);
        out.insert(out.begin(), static_cast<char>(0x80 | rateIndex));
        return out;
    };
    write("fuzz_audio", "air-mpt1327-8000", air(0, 0, mptBits()));
    write("fuzz_audio", "air-nmt450-11025", air(1, 0, nmtBits()));
    write("fuzz_audio", "air-motorola-8000", air(0, 1, motorolaAir()));
    write("fuzz_audio", "air-motorola-inverted-22050", air(2, 3, motorolaAir()));
}

void bitSeeds()
{
    write("fuzz_bits", "mpt1327", packBits(0, mptBits()));
    write("fuzz_bits", "nmt450", packBits(1, nmtBits()));
    // The bit entry takes true for a negative run, a 0 on the air.
    Bits entry;
    for (uint8_t b : motorolaAir())
        entry.push_back(b == 0 ? 1 : 0);
    write("fuzz_bits", "motorola", packBits(2, entry));
}

void profileSeeds()
{
    write("fuzz_profile", "settings",
          "[audio]\nsamplerate=44100\nmute=1\n\n[tracking]\nreceiver_type=2\ncomport=1\nmemory=250\n"
          "follow_calls=1\nscan_on_clear=0\nauto_add=1\nbacklight=0\nreturn_to_cc=1\n");
    write("fuzz_profile", "systems-crlf",
          "; channel plans\r\n[Systems]\r\nsysBase_137=4250000\r\nsysStep_137=125\r\nsysOffset_137=-40\r\n"
          "[serial]\r\ncom1=/dev/ttyUSB0\r\ncom2 = /dev/ttyACM0 \r\n");
    write("fuzz_profile", "odd", "orphan=1\n[]\n=x\nnovalue\n[audio\nsamplerate=12abc\n[AUDIO]\nSampleRate=-1\n");
}

void addrbookSeeds()
{
    write("fuzz_addrbook", "book",
          "[137]\nsysName=Taxi\nsysComment=north\nnumberOfFleets=2\n"
          "fleet0-Name=Cabs\nfleet0-Id=1\nfleet0-Comment=\nfleet0-NrOfUnits=2\n"
          "fleet0-unit0-Name=Car 7\nfleet0-unit0-Id=1234\nfleet0-unit0-Comment=\n"
          "fleet0-unit0-LastSeen=12.03.2026 10:11:12\nfleet0-unit0-Checked=1\n"
          "fleet0-unit1-Name=Base\nfleet0-unit1-Id=200\nfleet0-unit1-Comment=desk\n"
          "fleet0-unit1-LastSeen=\nfleet0-unit1-Checked=0\n"
          "fleet1-Name=Vans\nfleet1-Id=2\nfleet1-Comment=\n"
          "[2A3]\nsysName=Motorola\nsysComment=\n");
    write("fuzz_addrbook", "damaged",
          "[5]\nnumberOfFleets=4000000000\nfleet3-Id=9\nfleet3-NrOfUnits=7\nfleet3-unit6-Id=77\n"
          "fleet3-unit6-Checked=1\n[5]\nfleet0-Id=9\n[]\nsysName=none\n");
}

void scannerSeeds()
{
    // Selector: driver (mod 3) and memory channel; operation (mod 10).
    const std::string ok = "OK\r";
    const std::string r250 =
        "TA B C old tag\rMD09\rOK\rOK\rOK\rC250\rOK\rOK\rOK\rOK\r+\rC250 F04200125 TN LF AF RF N000\r";
    for (uint8_t op = 0; op < 10; ++op) {
        write("fuzz_scanner", "uniden250-" + std::to_string(op),
              std::string{static_cast<char>(3 << 2), static_cast<char>(op)} + r250);
        write("fuzz_scanner", "uniden780-" + std::to_string(op),
              std::string{static_cast<char>(1 | 3 << 2), static_cast<char>(op)} + r250);
        write("fuzz_scanner", "dynamic-" + std::to_string(op),
              std::string{2, static_cast<char>(op)} +
                  "QSH,OK\rGLG,04200125,NFM,0,0,Site,Group,Channel,1,0,,0\rKEY,OK\rPRG,OK\rBLT,OK\rEPG,OK\r");
    }
    write("fuzz_scanner", "err", std::string{0, 9} + "ERR\rERR\rERR\rERR\r");
    write("fuzz_scanner", "garbage", std::string{1 | 1 << 2, 9} + std::string("\x7f#?\xff~ \x01zz9", 10));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds CORPUS_DIR\n");
        return 2;
    }
    g_root = argv[1];
    audioSeeds();
    airSeeds();
    bitSeeds();
    profileSeeds();
    addrbookSeeds();
    scannerSeeds();
    return 0;
}
