// Motorola band plans from velkor.ini: channel -> frequency and back for every plan.
#include "cmdwnd/ChannelPlan.h"

#include <gtest/gtest.h>

using namespace velkor;

namespace {

// sysBandPlan_1..5 and system 5's three rows, one of them on 6.25 kHz.
const char* const kIni = "[systems]\nsysBandPlan_1=800-standard\nsysBandPlan_2=800-splinter\n"
                         "sysBandPlan_3=800-rebanded\nsysBandPlan_4=900\n"
                         "sysRows_5=451.00625/6.25/380, 453.0125/12.5/500,460.0/25/600\n";

struct Row {
    uint32_t system;
    uint32_t channel;
    double mhz; // 0: no channel of the plan
    int narrow;
};
const Row kRows[] = {
    {1, 0, 851.0125, 0},   {1, 256, 857.4125, 0},  {1, 719, 868.9875, 0}, {1, 720, 866.0000, 0}, {1, 759, 866.9750, 0},
    {1, 815, 867.0000, 0}, {1, 831, 867.4000, 0},  {1, 958, 868.9750, 0}, {1, 961, 867.4250, 0}, {1, 1022, 868.9500, 0},
    {1, 760, 0, 0},        {1, 900, 0, 0},         {2, 0, 851.0000, 0},   {2, 599, 865.9750, 0}, {2, 600, 866.0125, 0},
    {2, 719, 868.9875, 0}, {3, 439, 861.9875, 0},  {3, 440, 851.0250, 0}, {3, 450, 851.2750, 0}, {3, 559, 854.0000, 0},
    {3, 600, 0, 0},        {4, 0, 935.0125, 1},    {4, 100, 936.2625, 1}, {4, 478, 940.9875, 1}, {4, 479, 0, 0},
    {5, 379, 0, 0},        {5, 380, 451.00625, 1}, {5, 381, 451.0125, 1}, {5, 499, 451.7500, 1}, {5, 500, 453.0125, 1},
    {5, 599, 454.2500, 1}, {5, 600, 460.0000, 0},  {5, 759, 463.9750, 0}, {5, 760, 0, 0},
};

TEST(ChannelPlan, MotorolaBandPlansBothWays)
{
    const VelkorConfig config(ProfileFile::parse(kIni));
    for (const Row& r : kRows) {
        SCOPED_TRACE("system " + std::to_string(r.system) + " channel " + std::to_string(r.channel));
        const velkor_system_params_s p = systemParams(config.channelPlan(r.system));
        EXPECT_NEAR(channelFrequency(p, r.channel).value_or(0), r.mhz, 1e-9); // 0: none
        if (r.mhz == 0)
            continue;
        EXPECT_EQ(narrowFlag(p, r.channel), r.narrow);
        EXPECT_EQ(frequencyChannel(p, r.mhz), static_cast<int32_t>(r.channel));
    }
}

// Found by fuzzing: a row of 56 MHz spacing took the frequency of the next row's channel.
TEST(ChannelPlan, AFrequencyGoesToTheNearestChannel)
{
    const VelkorConfig config(ProfileFile::parse("[systems]\nsysRows_6=451.0/56026.25/380,453.0125/0.5/500\n"));
    const velkor_system_params_s p = systemParams(config.channelPlan(6));
    EXPECT_EQ(frequencyChannel(p, 453.0125), 500);
    EXPECT_EQ(frequencyChannel(p, 451.0), 380);
}

} // namespace
