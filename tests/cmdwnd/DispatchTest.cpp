// The command window's rules (validation of payloads, dispatch, the bounded log), run
// over both ways a command arrives: dispatchCommand called directly, and a command
// posted to CCmdWnd and delivered by Qt's event loop.
#include "TestOwner.h"
#include "cmdwnd/CCmdWnd.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/FakeMixer.h"
#include "fixtures/ScratchFixture.h"
#include "text/Cp1252.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace velkor;

namespace {

using Texts = std::vector<std::string>;

// Records what each handler was asked to do.
class Handler : public CmdHandler {
public:
    LogListView& logList() override { return list; }
    velkor::Notices& notices() override { return told; }
    bool muteEnabled() const override { return mute; }
    void setMuted(bool muted) override { log.push_back(muted ? "muted" : "unmuted"); }
    void reportCall(const velkor_call_s& c) override { log.push_back("call " + std::to_string(c.channel)); }
    void clearCall(const velkor_call_s& c) override { log.push_back("clear " + std::to_string(c.channel)); }
    void endCall() override { log.push_back("end"); }
    void reportSystem(const velkor_address_s& a) override { log.push_back("system " + std::to_string(a.unit)); }

    MemoryLogList list;
    CollectingNotices told;
    bool mute = true;
    Texts log;
};

// One way for a command to arrive, and the log list it lands in.
class Delivery {
public:
    virtual ~Delivery() = default;
    virtual void post(uint32_t code, CmdPayload payload) = 0;
    virtual MemoryLogList& list() = 0;
    virtual const Texts& alerts() = 0;
};

class Direct : public Delivery {
public:
    void post(uint32_t code, CmdPayload payload) override { dispatchCommand(handler, code, std::move(payload)); }
    MemoryLogList& list() override { return handler.list; }
    const Texts& alerts() override { return handler.told.alerts; }
    Handler handler;
};

class Window : public Delivery {
public:
    void post(uint32_t code, CmdPayload payload) override
    {
        wnd.post(code, std::move(payload));
        QCoreApplication::sendPostedEvents();
    }
    MemoryLogList& list() override { return owner.log; }
    const Texts& alerts() override { return owner.told.alerts; }
    TestOwner owner;
    CCmdWnd wnd{owner, std::make_unique<FakeMixer>()};
};

class Dispatch : public ScratchFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        ScratchFixture::SetUp();
        if (GetParam())
            to = std::make_unique<Window>();
        else
            to = std::make_unique<Direct>();
    }
    void TearDown() override
    {
        to.reset();
        ScratchFixture::TearDown();
    }
    void line(const std::string& text) { to->post(CMDWND_ADD_LOGSTR, LogText(text)); }

    std::unique_ptr<Delivery> to;
};

INSTANTIATE_TEST_SUITE_P(Both, Dispatch, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "CommandWindow" : "DispatchCommand"; });

TEST_P(Dispatch, MissingOrWrongPayloadsAreShownAndOtherCodesIgnored)
{
    to->post(CMDWND_ADD_LOGSTR, {});
    to->post(CMDWND_REPORT_CALL, {});
    to->post(CMDWND_CLEAR_CALL, LogText("not a call"));
    to->post(CMDWND_REPORT_SYSTEM, {});
    to->post(CMDWND_REPORT_CALL, LogText("not a call"));
    for (uint32_t code : {0xEFFFu, 0xF007u, 0xFFFFu, 0u})
        to->post(code, LogText("x"));
    EXPECT_EQ(to->alerts(),
              (Texts{"Invalid parameters to CMDWND_ADD_LOGSTR!", "Invalid parameters to CMDWND_REPORT_CALL!",
                     "Invalid parameters to CMDWND_CLEAR_CALL!", "Invalid parameters to CMDWND_REPORT_CALL!"}));
    EXPECT_EQ(to->list().count(), 0);
}

TEST_P(Dispatch, LogListKeeps1001LinesAndFollowsTheNewest)
{
    for (int i = 0; i < 1000; ++i)
        line("line " + std::to_string(i));
    EXPECT_EQ(to->list().count(), 1000);
    line("line 1000");
    EXPECT_EQ(to->list().count(), 1001);
    EXPECT_EQ(to->list().lines.front(), "line 0");
    line("line 1001");
    EXPECT_EQ(to->list().count(), 1001);
    EXPECT_EQ(to->list().lines.front(), "line 1");
    EXPECT_EQ(to->list().caret, 1000);

    // Lines appended directly may take the list above the bound and leave the caret;
    // one line goes per decoder line.
    for (int i = 0; i < 5; ++i)
        to->list().append("direct");
    EXPECT_EQ(to->list().caret, 1000);
    line("next");
    EXPECT_EQ(to->list().count(), 1006);
    EXPECT_EQ(to->list().lines.front(), "line 2");
    EXPECT_EQ(to->list().caret, 1005);
}

TEST_P(Dispatch, RefusedLineIsReported)
{
    to->list().refuse = true;
    line("x");
    EXPECT_EQ(to->alerts(), Texts{"Error adding string to LogList!"});
}

TEST(DispatchCommand, EveryCodeReachesItsHandler)
{
    Handler handler;
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
    EXPECT_EQ(handler.log, (Texts{"call 17", "clear 17", "muted", "unmuted", "system 3", "end"}));
    EXPECT_EQ(handler.list.count(), 0);
}

TEST(Cp1252, ConvertsToUtf8WithoutLosingAByte)
{
    EXPECT_EQ(cp1252ToUtf8("Tr\xF8ndelag"), "Tr\xC3\xB8ndelag");
    EXPECT_EQ(cp1252ToUtf8("\x80\x9F\x81"), "\xE2\x82\xAC\xC5\xB8\xC2\x81");
    EXPECT_EQ(cp1252ToUtf8("plain | text"), "plain | text");
}

} // namespace
