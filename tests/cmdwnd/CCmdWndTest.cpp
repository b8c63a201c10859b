// The command window on Qt: posting from other threads, the log list on a real
// QListWidget, the mute commands and what happens to commands still queued when the
// window goes.
#include "cmdwnd/CCmdWnd.h"
#include "WidgetOwner.h"
#include "fixtures/FakeMixer.h"
#include "fixtures/ScratchFixture.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <thread>

using namespace velkor;

namespace {

using Texts = std::vector<std::string>;

class CmdWnd : public ScratchFixture {
protected:
    std::unique_ptr<CCmdWnd> make() { return std::make_unique<CCmdWnd>(owner, std::make_unique<FakeMixer>(mixer)); }
    static void drain() { QCoreApplication::sendPostedEvents(); }

    WidgetOwner owner;
    FakeMixer::State mixer;
};

// The bound and the validation are in DispatchTest.cpp; here the widget's own part.
TEST_F(CmdWnd, TheWidgetShowsWindows1252LinesAndSelectsNothing)
{
    auto wnd = make();
    for (int i = 0; i < 1002; ++i)
        wnd->post(CMDWND_ADD_LOGSTR, LogText("line " + std::to_string(i)));
    drain();
    EXPECT_EQ(owner.list.count(), 1001);
    EXPECT_EQ(owner.list.item(0)->text(), "line 1");
    EXPECT_EQ(owner.list.currentRow(), 1000);
    EXPECT_TRUE(owner.list.selectedItems().isEmpty());
    owner.view.append("direct");
    EXPECT_EQ(owner.list.currentRow(), 1000);
    wnd->post(CMDWND_ADD_LOGSTR, LogText("line \xE9")); // Windows-1252 e-acute
    drain();
    EXPECT_EQ(owner.list.count(), 1002);
    EXPECT_EQ(owner.list.item(1001)->text(), QString::fromUtf8("line \xC3\xA9"));
    EXPECT_EQ(owner.list.currentRow(), 1001);
}

TEST_F(CmdWnd, CommandsFromOtherThreadsArriveInPostingOrder)
{
    auto wnd = make();
    constexpr int kLines = 1500;
    std::thread poster([&] {
        for (int i = 0; i < kLines; ++i) {
            if (i % 100 == 0)
                wnd->post(CMDWND_REPORT_SYSTEM, velkor_address_s{uint32_t(i + 1), 0, 0});
            wnd->post(CMDWND_ADD_LOGSTR, LogText(std::to_string(i)));
        }
    });
    poster.join();
    drain();
    const Texts lines = owner.lines();
    ASSERT_EQ(lines.size(), 1001u);
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], std::to_string(kLines - 1001 + int(i)));
    EXPECT_NE(owner.book.FindAddr({1401, 0, 0}), nullptr);
}

TEST_F(CmdWnd, QueuedCommandsAreDroppedWithTheWindow)
{
    owner.settings.mute = true;
    auto wnd = make();
    wnd->post(CMDWND_ADD_LOGSTR, LogText("never shown"));
    wnd->post(CMDWND_REPORT_CALL, velkor_call_s{});
    wnd->post(CMDWND_MUTE, {});
    mixer.calls.clear();
    wnd.reset();
    drain();
    EXPECT_EQ(owner.list.count(), 0);
    // Only the unmute of the window's end reaches the mixer, then it is closed.
    EXPECT_EQ(mixer.calls, (Texts{"set 1", "close"}));
}

TEST_F(CmdWnd, MuteCommandsOnlyWhileMutingIsOn)
{
    owner.settings.mute = true;
    auto wnd = make();
    EXPECT_EQ(mixer.calls, (Texts{"open", "line", "switch"}));
    mixer.calls.clear();
    wnd->OnCmdWndMessage(CMDWND_MUTE, {});
    wnd->OnCmdWndMessage(CMDWND_MUTE, {});
    wnd->OnCmdWndMessage(CMDWND_UNMUTE, {});
    EXPECT_EQ(mixer.calls, (Texts{"set 0", "set 0", "set 1"}));
    mixer.calls.clear();

    owner.settings.mute = false;
    wnd->OnCmdWndMessage(CMDWND_MUTE, {});
    wnd->OnCmdWndMessage(CMDWND_UNMUTE, {});
    EXPECT_TRUE(mixer.calls.empty());
    wnd.reset();
    EXPECT_EQ(mixer.calls, Texts{"close"}); // the line is left as it is
}

TEST_F(CmdWnd, MixerFallBacksAndTexts)
{
    const struct {
        bool mixer, line, mic, sw, vol;
        Texts calls;
        const char* logged; // nullptr: muting works with these two settings
        Texts mute, unmute;
    } cases[] = {
        {true, true, true, true, true, {"open", "line", "switch"}, nullptr, {"set 0"}, {"set 1"}},
        {true, false, true, true, true, {"open", "line", "mic", "switch"}, nullptr, {"set 0"}, {"set 1"}},
        {true, true, true, false, true, {"open", "line", "switch", "volume"}, nullptr, {"set 7"}, {"set 65535"}},
        {true,
         false,
         false,
         true,
         true,
         {"open", "line", "mic", "close"},
         "Line-In muting unavailable: Couldn't get Line-In mixerComponent!",
         {},
         {}},
        {true,
         true,
         true,
         false,
         false,
         {"open", "line", "switch", "volume", "close"},
         "Line-In muting unavailable: Couldn't get Volume mixerControl!",
         {},
         {}},
        {false,
         true,
         true,
         true,
         true,
         {"open"},
         "Line-In muting unavailable: Couldn't open mixer default: No such file or directory",
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls.size());
        WidgetOwner o;
        FakeMixer::State st;
        st.hasMixer = c.mixer;
        st.hasLine = c.line;
        st.hasMic = c.mic;
        st.hasSwitch = c.sw;
        st.hasVolume = c.vol;
        auto wnd = std::make_unique<CCmdWnd>(o, std::make_unique<FakeMixer>(st));
        EXPECT_EQ(st.calls, c.calls);
        EXPECT_EQ(wnd->mixer() != nullptr, c.logged == nullptr);
        EXPECT_EQ(o.lines(), c.logged ? Texts{c.logged} : Texts{});
        st.calls.clear();
        wnd->OnCmdWndMessage(CMDWND_MUTE, {});
        EXPECT_EQ(st.calls, c.mute);
        st.calls.clear();
        wnd->OnCmdWndMessage(CMDWND_UNMUTE, {});
        EXPECT_EQ(st.calls, c.unmute);
        EXPECT_TRUE(o.told.alerts.empty());
    }
}

TEST_F(CmdWnd, RefusedSetShowsAMessageEveryTime)
{
    auto wnd = make();
    mixer.refuseSet = true;
    wnd->OnCmdWndMessage(CMDWND_MUTE, {});
    wnd->OnCmdWndMessage(CMDWND_UNMUTE, {});
    EXPECT_EQ(owner.told.alerts, (Texts{"Couldn't set mixerControl!", "Couldn't set mixerControl!"}));
    mixer.refuseSet = false;
}

TEST_F(CmdWnd, EndCallWithoutCallChangesNothing)
{
    auto wnd = make();
    wnd->post(CMDWND_END_CALL, {});
    drain();
    EXPECT_EQ(owner.list.count(), 0);
    EXPECT_EQ(wnd->tracker().suppressedTarget(), velkor_address_s{});
}

} // namespace
