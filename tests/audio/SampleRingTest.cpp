// The ring between the audio callback and the decoding thread: order across the wrap,
// whole blocks only, counted drops when full, and one producer against one consumer.
#include "audio/SampleRing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

using namespace velkor;

namespace {

std::vector<int16_t> ramp(size_t count, int16_t first)
{
    std::vector<int16_t> v(count);
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(SampleRing, KeepsOrderAcrossTheWrapAndCountsWhatDidNotFit)
{
    const struct {
        size_t write; // samples per write
        size_t read;  // samples per read
        size_t rounds;
        uint64_t dropped; // expected drops
    } table[] = {
        {5, 5, 100, 0},  // wraps many times
        {3, 6, 40, 0},   // reads wait for whole blocks
        {12, 12, 5, 0},  // writes the whole capacity at once (16)
        {20, 16, 3, 12}, // each write holds 4 more than fits
    };
    for (const auto& row : table) {
        SampleRing ring(16);
        ASSERT_EQ(ring.capacity(), 16u);
        int16_t next = 0;
        int16_t expect = 0;
        std::vector<int16_t> out(row.read);
        for (size_t r = 0; r < row.rounds; ++r) {
            const auto in = ramp(row.write, next);
            const size_t kept = ring.write(in.data(), in.size());
            next = static_cast<int16_t>(next + row.write);
            while (ring.read(out.data(), out.size())) {
                for (int16_t s : out)
                    ASSERT_EQ(s, expect++) << "write " << row.write << " read " << row.read;
            }
            // What did not fit is gone; the stream continues after the gap.
            expect = static_cast<int16_t>(expect + (row.write - kept));
        }
        EXPECT_EQ(ring.dropped(), row.dropped) << "write " << row.write;
        EXPECT_LT(ring.available(), row.read);
    }
}

TEST(SampleRing, OneProducerAndOneConsumerLoseNothingWhileThereIsRoom)
{
    SampleRing ring(1 << 16);
    constexpr int kTotal = 2'000'000;
    std::thread producer([&] {
        int16_t value = 0;
        std::vector<int16_t> chunk(97);
        for (int sent = 0; sent < kTotal;) {
            for (auto& s : chunk)
                s = value++;
            size_t at = 0;
            while (at < chunk.size()) {
                // Only write what fits, so that nothing is dropped in this test.
                const size_t room = ring.capacity() - ring.available();
                const size_t n = std::min(room, chunk.size() - at);
                at += ring.write(chunk.data() + at, n);
                if (n == 0)
                    std::this_thread::yield();
            }
            sent += static_cast<int>(chunk.size());
        }
    });
    int16_t expect = 0;
    std::vector<int16_t> block(480);
    int got = 0;
    const int wanted = kTotal / 97 * 97 + (kTotal % 97 ? 97 : 0);
    while (got + static_cast<int>(block.size()) <= wanted) {
        if (!ring.read(block.data(), block.size())) {
            std::this_thread::yield();
            continue;
        }
        for (int16_t s : block)
            ASSERT_EQ(s, expect++);
        got += static_cast<int>(block.size());
    }
    producer.join();
    EXPECT_EQ(ring.dropped(), 0u);
}

} // namespace
