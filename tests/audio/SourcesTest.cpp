// The sources around the decoder bank: a recording played at its own pace, and audio
// lost while decoding fell behind a live capture, which the log must report.
#include "audio/FileSource.h"
#include "audio/PacedSource.h"
#include "audio/PortAudioSource.h"
#include "bank/DecoderBank.h"
#include "fixtures/WaitFor.h"
#include "signal/Audio.h"
#include "signal/RecordingSink.h"
#include "tools/PulseServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace velkor;

namespace {

using Clock = std::chrono::steady_clock;

// Seconds of a 1200 Hz tone as a WAV file.
std::string toneFile(const testsignal::TempDir& dir, double seconds, int rate)
{
    testsignal::Samples tone(static_cast<size_t>(seconds * rate));
    for (size_t n = 0; n < tone.size(); ++n)
        tone[n] = 0.3 * std::sin(2.0 * M_PI * 1200.0 * static_cast<double>(n) / rate);
    testsignal::writeWav(dir.file("tone.wav"), testsignal::toPcm16(tone), rate);
    return dir.file("tone.wav");
}

TEST(PacedSource, NoBlockComesBeforeItsTimeAndStopCutsTheWaitShort)
{
    const testsignal::TempDir dir;
    const std::string file = toneFile(dir, 1.5, 8000);
    struct Seen {
        std::mutex lock;
        std::vector<std::pair<double, uint64_t>> blocks; // seconds since start, samples before it
        uint64_t samples = 0;
        bool ended = false;
    } seen;
    PacedSource paced(std::make_unique<FileSource>(file, std::nullopt));
    ASSERT_TRUE(paced.open(8000, 400).ok());
    AudioSource::Handlers h;
    const auto begin = Clock::now();
    h.block = [&](const int16_t*, size_t bytes, CaptureTime) {
        const std::lock_guard<std::mutex> guard(seen.lock);
        seen.blocks.emplace_back(std::chrono::duration<double>(Clock::now() - begin).count(), seen.samples);
        seen.samples += bytes / 2;
    };
    h.ended = [&](const velkor::Status&) {
        const std::lock_guard<std::mutex> guard(seen.lock);
        seen.ended = true;
    };
    ASSERT_TRUE(paced.start(std::move(h)).ok());
    ASSERT_TRUE(waitFor("the end of the recording", [&] {
        const std::lock_guard<std::mutex> guard(seen.lock);
        return seen.ended;
    }));
    // A loaded machine may deliver late, never early: a block comes once the samples
    // before it have had their time.
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - begin).count(), 1.5 - 0.01);
    EXPECT_EQ(seen.samples, 12000u);
    for (const auto& [at, before] : seen.blocks)
        EXPECT_GE(at + 0.002, static_cast<double>(before) / 8000.0) << before;
    paced.close();

    // Stopping while a block is held back ends the wait: a minute of audio is not
    // waited out.
    PacedSource longer(std::make_unique<FileSource>(toneFile(dir, 60.0, 8000), std::nullopt));
    ASSERT_TRUE(longer.open(8000, 400).ok());
    std::atomic<int> blocks{0};
    AudioSource::Handlers lh;
    lh.block = [&](const int16_t*, size_t, CaptureTime) { ++blocks; };
    ASSERT_TRUE(longer.start(std::move(lh)).ok());
    ASSERT_TRUE(waitFor("a few blocks", [&] { return blocks > 3; }));
    const auto stopping = Clock::now();
    longer.stop();
    EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(10));
    EXPECT_LT(blocks.load(), 20 * 30);
}

// Holds one block back, as a decoder that falls behind does.
class SlowDecoder : public AudioSource {
public:
    SlowDecoder(std::unique_ptr<AudioSource> inner, std::chrono::milliseconds hold)
        : m_inner(std::move(inner))
        , m_hold(hold)
    {
    }
    velkor::Status open(unsigned rate, size_t block) override { return m_inner->open(rate, block); }
    velkor::Status start(Handlers handlers) override
    {
        auto block = std::move(handlers.block);
        handlers.block = [this, block](const int16_t* samples, size_t bytes, CaptureTime captured) {
            if (m_first.exchange(false))
                std::this_thread::sleep_for(m_hold);
            m_samples += bytes / 2;
            block(samples, bytes, captured);
        };
        return m_inner->start(std::move(handlers));
    }
    void stop() override { m_inner->stop(); }
    void close() override { m_inner->close(); }
    std::string name() const override { return m_inner->name(); }
    uint64_t samples() const { return m_samples; }

private:
    std::unique_ptr<AudioSource> m_inner;
    std::chrono::milliseconds m_hold;
    std::atomic<bool> m_first{true};
    std::atomic<uint64_t> m_samples{0};
};

TEST(LiveCapture, SamplesLostWhileDecodingFellBehindAreLogged)
{
    testsignal::PulseServer server;
    if (!server.ready())
        GTEST_SKIP() << "no PulseAudio server could be started";
    // The ring holds two seconds and the device's own buffer about as much again;
    // decoding that stops for eight loses the rest.
    testsignal::RecordingSink sink;
    std::mutex lock;
    std::string ended = "running";
    DecoderBank::SourceEvents events;
    events.ended = [&](const velkor::Status& end) {
        const std::lock_guard<std::mutex> guard(lock);
        ended = "ended: " + end.error();
    };
    auto source = std::make_unique<SlowDecoder>(std::make_unique<PortAudioSource>(), std::chrono::seconds(8));
    const SlowDecoder& slow = *source;
    auto bank = std::make_unique<DecoderBank>(&sink, 8000, std::move(source), std::move(events));
    const auto lost = [&] {
        for (const auto& line : sink.lines())
            if (line.rfind("Audio input overflow: decoding fell behind, ", 0) == 0)
                return line;
        return std::string();
    };
    ASSERT_TRUE(waitFor(
        "a line of lost samples", [&] { return !lost().empty(); },
        [&] {
            const std::lock_guard<std::mutex> guard(lock);
            return ended + ", " + std::to_string(slow.samples()) + " samples decoded, lines " +
                testing::PrintToString(sink.lines());
        }));
    unsigned long samples = 0;
    ASSERT_EQ(std::sscanf(lost().c_str(), "Audio input overflow: decoding fell behind, %lu samples lost", &samples), 1)
        << lost();
    EXPECT_GT(samples, 4000u);     // more than half a second of the stall
    EXPECT_LT(samples, 8 * 8000u); // never more than the stall itself
    bank.reset();
}

} // namespace
