// The command window on Qt: posting from other threads, dispatch with its message
// texts, the log list on a real QListWidget, the mute commands and what happens to
// commands still queued when the window goes.
#include "cmdwnd/CCmdWnd.h"
#include "notify/MessageBox.h"
#include "app/QListLogView.h"
#include "TestOwner.h"

#include <QApplication>
#include <QListWidget>

#include <gtest/gtest.h>

#include <thread>

namespace {

using Texts = std::vector<std::string>;

// Stands in for a sound card's mixer: it has the lines and controls a test gives it
// and records what is set.
class FakeMixer : public MixerBackend {
public:
    struct State {
        bool hasMixer = true, hasLine = true, hasMic = true, hasSwitch = true, hasVolume = true;
        bool refuseSet = false;
        std::vector<std::string> calls;
    };
    explicit FakeMixer(State& state) : s(state) {}
    void open() override
    {
        s.calls.push_back("open");
        if (!s.hasMixer)
            throw MixerError("Couldn't open mixer default: No such file or directory");
    }
    bool selectLine(Line line) override
    {
        s.calls.push_back(line == Line::LineIn ? "line" : "mic");
        return line == Line::LineIn ? s.hasLine : s.hasMic;
    }
    bool selectControl(Control control, long* muted, long* unmuted) override
    {
        s.calls.push_back(control == Control::MuteSwitch ? "switch" : "volume");
        if (control == Control::MuteSwitch && s.hasSwitch) {
            *muted = 0;
            *unmuted = 1;
            return true;
        }
        if (control == Control::Volume && s.hasVolume) {
            *muted = 0;
            *unmuted = 65535;
            return true;
        }
        return false;
    }
    bool set(long value) override
    {
        s.calls.push_back("set " + std::to_string(value));
        return !s.refuseSet;
    }
    void close() override { s.calls.push_back("close"); }

    State& s;
};

// The owner with the log list on a real list widget.
class WidgetOwner : public TestOwner {
public:
    LogListView& logList() override { return view; }
    QListWidget list;
    QListLogView view{&list};

    Texts lines() const
    {
        Texts out;
        for (int i = 0; i < list.count(); ++i)
            out.push_back(list.item(i)->text().toStdString());
        return out;
    }
};

class CmdWnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = setMessageBoxFunction([this](const std::string& t) { shown.push_back(t); });
    }
    void TearDown() override { setMessageBoxFunction(old); }

    std::unique_ptr<CCmdWnd> make() { return std::make_unique<CCmdWnd>(owner, std::make_unique<FakeMixer>(mixer)); }
    static void drain() { QCoreApplication::sendPostedEvents(); }

    WidgetOwner owner;
    FakeMixer::State mixer;
    Texts shown;
    MessageBoxFn old;
};

TEST_F(CmdWnd, NullPayloadsAndCodesOutOfRange)
{
    auto wnd = make();
    wnd->post(CMDWND_ADD_LOGSTR, {});
    wnd->post(CMDWND_REPORT_CALL, {});
    wnd->post(CMDWND_CLEAR_CALL, {});
    wnd->post(CMDWND_REPORT_SYSTEM, {});
    wnd->post(CMDWND_REPORT_CALL, LogText("not a call"));
    wnd->post(0xF007, LogText("x"));
    wnd->post(0xEFFF, LogText("x"));
    wnd->post(0, {});
    drain();
    EXPECT_EQ(shown, (Texts{"Invalid parameters to CMDWND_ADD_LOGSTR!", "Invalid parameters to CMDWND_REPORT_CALL!",
                            "Invalid parameters to CMDWND_CLEAR_CALL!", "Invalid parameters to CMDWND_REPORT_CALL!"}));
    EXPECT_EQ(owner.list.count(), 0);
}

TEST_F(CmdWnd, LogListKeeps1001LinesAndFollowsTheNewest)
{
    auto wnd = make();
    for (int i = 0; i < 1000; ++i)
        wnd->post(CMDWND_ADD_LOGSTR, LogText("line " + std::to_string(i)));
    drain();
    ASSERT_EQ(owner.list.count(), 1000);
    wnd->post(CMDWND_ADD_LOGSTR, LogText("line 1000"));
    drain();
    EXPECT_EQ(owner.list.count(), 1001);
    EXPECT_EQ(owner.list.item(0)->text(), "line 0");
    wnd->post(CMDWND_ADD_LOGSTR, LogText("line 1001"));
    drain();
    EXPECT_EQ(owner.list.count(), 1001);
    EXPECT_EQ(owner.list.item(0)->text(), "line 1");
    EXPECT_EQ(owner.list.currentRow(), 1000);
    EXPECT_TRUE(owner.list.selectedItems().isEmpty());

    // Direct appends do not trim and leave the caret; the next decoder line removes
    // one line only.
    owner.view.append("direct a");
    owner.view.append("direct b");
    EXPECT_EQ(owner.list.count(), 1003);
    EXPECT_EQ(owner.list.currentRow(), 1000);
    wnd->post(CMDWND_ADD_LOGSTR, LogText("line \xE9"));   // Windows-1252 e-acute
    drain();
    EXPECT_EQ(owner.list.count(), 1003);
    EXPECT_EQ(owner.list.item(0)->text(), "line 2");
    EXPECT_EQ(owner.list.item(1002)->text(), QString::fromUtf8("line \xC3\xA9"));
    EXPECT_EQ(owner.list.currentRow(), 1002);
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
    EXPECT_EQ(mixer.calls, Texts{"close"});   // the line is left as it is
}

TEST_F(CmdWnd, MixerFallBacksAndTexts)
{
    const struct {
        bool mixer, line, mic, sw, vol;
        Texts calls;
        const char* logged;   // nullptr: muting works
    } cases[] = {
        {true, true, true, true, true, {"open", "line", "switch"}, nullptr},
        {true, false, true, true, true, {"open", "line", "mic", "switch"}, nullptr},
        {true, true, true, false, true, {"open", "line", "switch", "volume"}, nullptr},
        {true, false, false, true, true, {"open", "line", "mic", "close"},
         "Line-In muting unavailable: Couldn't get Line-In mixerComponent!"},
        {true, true, true, false, false, {"open", "line", "switch", "volume", "close"},
         "Line-In muting unavailable: Couldn't get Volume mixerControl!"},
        {false, true, true, true, true, {"open"},
         "Line-In muting unavailable: Couldn't open mixer default: No such file or directory"},
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
        if (!c.logged) {
            const bool volume = !c.sw;
            EXPECT_EQ(st.calls, Texts{volume ? "set 0" : "set 0"});
            st.calls.clear();
            wnd->OnCmdWndMessage(CMDWND_UNMUTE, {});
            EXPECT_EQ(st.calls, Texts{volume ? "set 65535" : "set 1"});
        } else {
            EXPECT_TRUE(st.calls.empty());
        }
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(CmdWnd, RefusedSetShowsAMessageEveryTime)
{
    auto wnd = make();
    mixer.refuseSet = true;
    wnd->OnCmdWndMessage(CMDWND_MUTE, {});
    wnd->OnCmdWndMessage(CMDWND_UNMUTE, {});
    EXPECT_EQ(shown, (Texts{"Couldn't set mixerControl!", "Couldn't set mixerControl!"}));
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
