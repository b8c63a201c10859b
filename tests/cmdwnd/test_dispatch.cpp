// The command window's rules: validation of payloads, dispatch, and the bounded log.
#include "cmdwnd/CmdDispatch.h"
#include "notify/MessageBox.h"
#include "text/Cp1252.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

class MemoryList : public LogListView {
public:
    int count() const override { return static_cast<int>(lines.size()); }
    void removeFirst() override { lines.pop_front(); }
    int append(const LogText& line) override
    {
        if (refuse)
            return -1;
        lines.push_back(line);
        return count() - 1;
    }
    void showLine(int index) override { caret = index; }

    std::deque<std::string> lines;
    int caret = -1;
    bool refuse = false;
};

class Handler : public CmdHandler {
public:
    LogListView& logList() override { return list; }
    bool muteEnabled() const override { return mute; }
    void setMuted(bool muted) override { log.push_back(muted ? "muted" : "unmuted"); }
    void reportCall(const velkor_call_s& c) override { log.push_back("call " + std::to_string(c.channel)); }
    void clearCall(const velkor_call_s& c) override { log.push_back("clear " + std::to_string(c.channel)); }
    void endCall() override { log.push_back("end"); }
    void reportSystem(const velkor_address_s& a) override { log.push_back("system " + std::to_string(a.unit)); }

    MemoryList list;
    bool mute = true;
    std::vector<std::string> log;
};

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = setMessageBoxFunction([this](const std::string& t) { shown.push_back(t); });
    }
    void TearDown() override { setMessageBoxFunction(old); }

    Handler handler;
    std::vector<std::string> shown;
    MessageBoxFn old;
};

TEST_F(Dispatch, MissingOrWrongPayloads)
{
    dispatchCommand(handler, CMDWND_ADD_LOGSTR, {});
    dispatchCommand(handler, CMDWND_REPORT_CALL, {});
    dispatchCommand(handler, CMDWND_CLEAR_CALL, LogText("not a call"));
    dispatchCommand(handler, CMDWND_REPORT_SYSTEM, {});
    EXPECT_EQ(shown, (std::vector<std::string>{"Invalid parameters to CMDWND_ADD_LOGSTR!",
                                               "Invalid parameters to CMDWND_REPORT_CALL!",
                                               "Invalid parameters to CMDWND_CLEAR_CALL!"}));
    EXPECT_TRUE(handler.log.empty());
    EXPECT_EQ(handler.list.count(), 0);
}

TEST_F(Dispatch, EveryCodeReachesItsHandler)
{
    velkor_call_s call;
    call.channel = 17;
    dispatchCommand(handler, CMDWND_REPORT_CALL, call);
    dispatchCommand(handler, CMDWND_CLEAR_CALL, call);
    dispatchCommand(handler, CMDWND_MUTE, {});
    dispatchCommand(handler, CMDWND_UNMUTE, {});
    dispatchCommand(handler, CMDWND_REPORT_SYSTEM, velkor_address_s{1, 2, 3});
    dispatchCommand(handler, CMDWND_END_CALL, {});
    handler.mute = false;
    dispatchCommand(handler, CMDWND_MUTE, {});
    dispatchCommand(handler, CMDWND_UNMUTE, {});
    for (uint32_t code : {0xEFFFu, 0xF007u, 0xFFFFu, 0u})
        dispatchCommand(handler, code, LogText("x"));
    EXPECT_EQ(handler.log, (std::vector<std::string>{"call 17", "clear 17", "muted", "unmuted", "system 3", "end"}));
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(handler.list.count(), 0);
}

TEST_F(Dispatch, LogListKeeps1001LinesAndFollowsTheNewest)
{
    for (int i = 0; i < 1000; ++i)
        dispatchCommand(handler, CMDWND_ADD_LOGSTR, LogText("line " + std::to_string(i)));
    EXPECT_EQ(handler.list.count(), 1000);
    dispatchCommand(handler, CMDWND_ADD_LOGSTR, LogText("line 1000"));
    EXPECT_EQ(handler.list.count(), 1001);
    EXPECT_EQ(handler.list.lines.front(), "line 0");
    dispatchCommand(handler, CMDWND_ADD_LOGSTR, LogText("line 1001"));
    EXPECT_EQ(handler.list.count(), 1001);
    EXPECT_EQ(handler.list.lines.front(), "line 1");
    EXPECT_EQ(handler.list.caret, 1000);

    // Lines appended directly may take the list above the bound; one line goes per add.
    for (int i = 0; i < 5; ++i)
        handler.list.append("direct");
    dispatchCommand(handler, CMDWND_ADD_LOGSTR, LogText("next"));
    EXPECT_EQ(handler.list.count(), 1006);
}

TEST_F(Dispatch, RefusedLineIsReported)
{
    handler.list.refuse = true;
    dispatchCommand(handler, CMDWND_ADD_LOGSTR, LogText("x"));
    EXPECT_EQ(shown, (std::vector<std::string>{"Error adding string to LogList!"}));
}

TEST(Cp1252, ConvertsToUtf8WithoutLosingAByte)
{
    EXPECT_EQ(cp1252ToUtf8("Tr\xF8ndelag"), "Tr\xC3\xB8ndelag");
    EXPECT_EQ(cp1252ToUtf8("\x80\x9F\x81"), "\xE2\x82\xAC\xC5\xB8\xC2\x81");
    EXPECT_EQ(cp1252ToUtf8("plain | text"), "plain | text");
}

} // namespace
