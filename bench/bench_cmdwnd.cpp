// The command window's side of every decoded message, on the GUI thread: a log line
// posted from the capture thread, queued, dispatched and shown in a full list widget
// (one line removed for each added), and a call report that the tracker turns down
// after the address book update. A busy control channel makes tens of lines a second;
// this shows how much of the GUI thread that takes.
#include "addrbook/AddrBook.h"
#include "app/ListLogView.h"
#include "cmdwnd/CCmdWnd.h"

#include <QApplication>
#include <QListWidget>

#include <benchmark/benchmark.h>

using namespace velkor;

namespace {

class BenchOwner : public CmdWndOwner {
public:
    BenchOwner() { settings.mute = false; }
    velkor_settings_s currentSettings() const override { return settings; }
    LogListView& logList() override { return view; }
    void AddAddr(const velkor_address_s& a) override { book.AddAddr(a); }
    std::string GetAddrName(uint32_t s, uint32_t f, uint32_t u) const override { return book.GetAddrName(s, f, u); }
    int IsAddrChecked(const velkor_address_s& a, int) override { return book.IsAddrChecked(a); }
    void enableEndCall(bool) override { }
    velkor::Notices& notices() override { return quiet; }

    velkor_settings_s settings;
    velkor::SilentNotices quiet;
    QListWidget list;
    ListLogView view{&list};
    AddrBook book{quiet};
};

void LogLineThroughTheQueue(benchmark::State& state)
{
    BenchOwner owner;
    CCmdWnd wnd(owner, std::unique_ptr<MixerBackend>());
    for (int i = 0; i < 1001; ++i)
        owner.view.append("filler");
    const LogText line = "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org:  200 Tar:  100 ";
    for (auto _ : state) {
        wnd.post(CMDWND_ADD_LOGSTR, line);
        QCoreApplication::sendPostedEvents(&wnd);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogLineThroughTheQueue);

void CallReportNotFollowed(benchmark::State& state)
{
    BenchOwner owner;
    CCmdWnd wnd(owner, std::unique_ptr<MixerBackend>());
    uint32_t unit = 0;
    for (auto _ : state) {
        velkor_call_s call;
        call.target = {1, 1, 1 + unit % 2000};
        call.origin = {1, 1, 2001 + unit % 2000};
        call.channel = 17;
        ++unit;
        wnd.post(CMDWND_REPORT_CALL, call);
        QCoreApplication::sendPostedEvents(&wnd);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CallReportNotFollowed);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
