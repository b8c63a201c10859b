// Every prefix and line code, sent as frames, with the exact lines and events.

#include "Nmt450TestUtil.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    std::vector<const char*> digits; // messages N0..N15 in hexadecimal, one frame each
    std::vector<std::string> events; // everything but MUTE
};

const std::string kCtind = "ADD_LOGSTR CTIND| Calling/Traffic Ch. indication  | ";
const std::string kSystem = "REPORT_SYSTEM 80000/0/0";

const Case kCases[] = {
    {"P0 says nothing", {"2010611234567000"}, {}},
    {"P3 free traffic channel",
     {"0173610000000000"},
     {"ADD_LOGSTR TCIND| Free traffic channel indication | Ch( 17) TA(61)"}},
    {"channel 000 is 200, TA digits a0 are 10",
     {"0003a00000000000"},
     {"ADD_LOGSTR TCIND| Free traffic channel indication | Ch(200) TA(10)"}},
    {"P4 repeated, then TA alone changes",
     {"2014610000000000", "2014610000000000", "2014620000000000"},
     {kSystem, kCtind + "Ch(  1) TA(61)", kSystem, kCtind + "Ch(  1) TA(62)"}},
    {"P4 then the same calling channel on P12",
     {"2014610000000000", "201c610000000000"},
     {kSystem, kCtind + "Ch(  1) TA(61)"}},
    {"P12 calling channel indication, repeated",
     {"201c610000000000", "201c610000000000", "202c610000000000"},
     {kSystem, "ADD_LOGSTR CCIND| Calling channel indication      | Ch(  1) TA(61)", kSystem,
      "ADD_LOGSTR CCIND| Calling channel indication      | Ch(  2) TA(61)"}},
    {"P12 Z0 with O2 set",
     {"201c610010000000"},
     {"ADD_LOGSTR UNKWN| Ch:   1 Prefix: 12 TA: 61 EC: 0 | 201c 6100 1000 0000"}},
    {"P12 with a line code",
     {"201c611234567123"},
     {"ADD_LOGSTR UNKWN| Ch:   1 Prefix: 12 TA: 61 EC: 0 | 201c 6112 3456 7123"}},
    {"P12 call to mobile",
     {"201c611234567000"},
     {"ADD_LOGSTR CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z( 1) X(234567)",
      "REPORT_SYSTEM 80000/1/234567"}},
    {"P12 call to mobile, zero digits",
     {"201c61d1a3a5a000", "201c612000000000"},
     {"ADD_LOGSTR CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z(13) X(103050)",
      "REPORT_SYSTEM 80000/13/103050",
      "ADD_LOGSTR CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z( 2) X(1111110)",
      "REPORT_SYSTEM 80000/2/1111110"}},
    {"P12 battery saving (the idle frame of the peer recording)",
     {"201c61eb00028000"},
     {"ADD_LOGSTR BATTS| Battery saving order            | Ch(  1) TA(61)"}},
    {"P12 Z15", {"201c61f000000000"}, {"ADD_LOGSTR UNKWN| Information to/from BS          | Ch(  1) TA(61)"}},
    {"P5 signal strength",
     {"201561f123456000"},
     {"ADD_LOGSTR SIGNS| Signal strength measurmnt order | Ch(  1) TA(61)  Z(15)"}},
    {"P5 allocations before and after a calling channel",
     {"2015611234567190", "2014610000000000", "2015611234567100", "2015611234567200"},
     {"REPORT_CALL t0 80000/1/234567 <- 80000/1/0 cc20 ch10",
      "ADD_LOGSTR ALLCT| Traffic channel allocation      | Ch(  1) TA(61)  Z( 1) X(234567) N(190)", kSystem,
      kCtind + "Ch(  1) TA(61)", "REPORT_CALL t0 80000/1/234567 <- 80000/1/0 cc21 ch120",
      "ADD_LOGSTR ALLCT| Traffic channel allocation      | Ch(  1) TA(61)  Z( 1) X(234567) N(100)",
      "REPORT_CALL t0 80000/1/234567 <- 80000/1/0 cc21 ch20",
      "ADD_LOGSTR ALLCT| Traffic channel allocation      | Ch(  1) TA(61)  Z( 1) X(234567) N(200)"}},
    {"P5 identity request",
     {"2015611234567000"},
     {"ADD_LOGSTR IDREQ| Identity request on traffic ch. | Ch(  1) TA(61)  Z( 1) X(234567)"}},
    {"P6 ready to dial",
     {"1506611234567333", "1506611234567bbb"},
     {"ADD_LOGSTR LINES| Line signal - Ready to dial     | Ch(150) TA(61)  Z( 1) X(234567)",
      "ADD_LOGSTR LINES| Line signal - Ready to dial     | Ch(150) TA(61)  Z( 1) X(234567)"}},
    {"P6 address complete",
     {"1506611234567666", "1816611234567666"},
     {"REPORT_CALL t0 80000/1/0 <- 80000/1/234567 cc20 ch170",
      "ADD_LOGSTR LINES| Line signal - Address Complete  | Ch(150) TA(61)  Z( 1) X(234567)",
      "REPORT_CALL t0 80000/1/0 <- 80000/1/234567 cc20 ch1",
      "ADD_LOGSTR LINES| Line signal - Address Complete  | Ch(181) TA(61)  Z( 1) X(234567)"}},
    {"P6 ringing",
     {"1506611234567999"},
     {"ADD_LOGSTR LINES| Line signal - Ringing order     | Ch(150) TA(61)  Z( 1) X(234567)"}},
    {"P6 clearing",
     {"1506611234567ddd", "1506611234567fff"},
     {"CLEAR_CALL t0 80000/1/234567 <- 80000/0/0 cc20 ch170",
      "ADD_LOGSTR LINES| Line signal - Clearing channel  | Ch(150) TA(61)  Z( 1) X(234567) L(13)",
      "CLEAR_CALL t0 80000/1/234567 <- 80000/0/0 cc20 ch170",
      "ADD_LOGSTR LINES| Line signal - Clearing channel  | Ch(150) TA(61)  Z( 1) X(234567) L(15)"}},
    {"P6 clearing code with O2 all ones",
     {"20166112ffff7ddd", "20166112ffff7fff"},
     {"ADD_LOGSTR UNKWN| Ch:   1 Prefix:  6 TA: 61 EC: 0 | 2016 6112 ffff 7ddd",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix:  6 TA: 61 EC: 0 | 2016 6112 ffff 7fff"}},
    {"P6 other line code",
     {"1506611234567123"},
     {"ADD_LOGSTR LINES| Line signal                     | Ch(150) TA(61)  Z( 1) X(234567) L( 3)"}},
    {"P8 authentication",
     {"2018611234567000", "20186100a0b0c00f"},
     {"ADD_LOGSTR AUTHR| Authentication request          | Ch(  1) TA(61)  H(1234567)",
      "ADD_LOGSTR AUTHR| Authentication request          | Ch(  1) TA(61)  H(00a0b0c)"}},
    {"P9 allocation on the same channel",
     {"2019611234567001"},
     {"REPORT_CALL t0 80000/1/234567 <- 80000/1/0 cc20 ch21",
      "ADD_LOGSTR ALLCT| Traffic channel allocation      | Ch(  1) TA(61)  Z( 1) X(234567) N(  1)"}},
    {"P9 with N != ch",
     {"2019611234567002"},
     {"ADD_LOGSTR UNKWN| Ch:   1 Prefix:  9 TA: 61 EC: 0 | 2019 6112 3456 7002"}},
    {"P15 channel orders that clear",
     {"201f61f000000000", "201f61f000200000", "201f61f000c00000"},
     {"ADD_LOGSTR CORDR| Channel activation order        | Idle radio channel",
      "CLEAR_CALL t0 80000/0/0 <- 80000/0/0 cc20 ch21",
      "ADD_LOGSTR CORDR| Channel activation order        | General channel reset",
      "CLEAR_CALL t0 80000/0/0 <- 80000/0/0 cc20 ch21",
      "ADD_LOGSTR CORDR| Channel activation order        | Stop sending \xF8-signal",
      "CLEAR_CALL t0 80000/0/0 <- 80000/0/0 cc20 ch21"}},
    {"P15 channel orders that do not clear",
     {"201f61f000d00000", "201f61f000500000"},
     {"ADD_LOGSTR CORDR| Channel activation order        | Start sending \xF8-signal",
      "ADD_LOGSTR CORDR| Channel activation order        | A:  5"}},
    {"P15 with Z below 15",
     {"201f611234567000"},
     {"ADD_LOGSTR UNKWN| Ch:   1 Prefix: 15 TA: 61 EC: 0 | 201f 6112 3456 7000"}},
    {"unassigned prefixes",
     {"2011610000000000", "2012610000000000", "2017610000000000", "201a610000000000", "201b610000000000",
      "201d610000000000", "201e610000000000"},
     {"ADD_LOGSTR UNKWN| Ch:   1 Prefix:  1 TA: 61 EC: 0 | 2011 6100 0000 0000",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix:  2 TA: 61 EC: 0 | 2012 6100 0000 0000",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix:  7 TA: 61 EC: 0 | 2017 6100 0000 0000",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix: 10 TA: 61 EC: 0 | 201a 6100 0000 0000",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix: 11 TA: 61 EC: 0 | 201b 6100 0000 0000",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix: 13 TA: 61 EC: 0 | 201d 6100 0000 0000",
      "ADD_LOGSTR UNKWN| Ch:   1 Prefix: 14 TA: 61 EC: 0 | 201e 6100 0000 0000"}},
};

TEST(Nmt450Messages, EveryPrefixGivesItsLinesAndEvents)
{
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        testsignal::RecordingSink sink;
        CNMT450 decoder(&sink, 48000);
        std::vector<uint64_t> messages;
        for (const char* d : c.digits)
            messages.push_back(nmtgen::fromHex(d));
        nmttest::feed(decoder, sink, nmttest::frames(messages));
        EXPECT_EQ(decoder.acceptedFrames(), messages.size());
        EXPECT_EQ(sink.messages(), c.events);
    }
}

TEST(Nmt450Messages, ChannelOrderLineHoldsTheWindows1252Letter)
{
    testsignal::RecordingSink sink;
    CNMT450 decoder(&sink, 48000);
    nmttest::feed(decoder, sink, nmttest::frames({nmtgen::fromHex("201f61f000d00000")}));
    const auto lines = sink.lines();
    ASSERT_EQ(lines.size(), 1u);
    const auto at = lines[0].find('\xF8');
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(lines[0].substr(at - 8, 10), "sending \xF8-");
    EXPECT_EQ(lines[0].size(), std::string("CORDR| Channel activation order        | Start sending ?-signal").size());
}

} // namespace
