// Records the calls the tracker follows: the decoder bank's capture stream goes to the
// call recorder, the tracker's "followed" and "left" begin and end a call there, and
// the recorder's outcome comes back on the command window's thread.
//
// Everything but captured() (the capture thread) runs on the command window's thread.
#pragma once

#include "bank/DecoderBank.h"
#include "cmdwnd/CallTracker.h"
#include "record/CallRecorder.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velkor {

class CCmdWnd;
class CmdWndOwner;

class CallRecording : public QObject, public CaptureTap, public CallObserver {
public:
    // Observes the window's tracker until deleted.
    CallRecording(CmdWndOwner& owner, CCmdWnd& cmdWnd, std::unique_ptr<CallRecorder> recorder);
    ~CallRecording() override;

    // The bank whose blocks are recorded from now on (its rate is the recording's).
    void attach(DecoderBank& bank);

    void captured(const int16_t* samples, unsigned count, CaptureTime time) override;
    void callFollowed(const velkor_call_s& call, double mhz) override;
    void callLeft(const velkor_call_s& call, CallLeft how) override;

    // The recording of the call being followed; 0 when none.
    uint64_t openCall() const { return m_recorder->openCall(); }

    // Where each call's outcome goes (the command window's thread).
    using Finished = std::function<void(const record_result_s& result)>;
    void setFinished(Finished finished) { m_finished = std::move(finished); }
    // Also told every outcome, after the above (the command window's thread).
    void setWatcher(Finished watcher) { m_watcher = std::move(watcher); }

    // The end of the input: once the bank has stopped, ends the open call, waits until
    // everything is written and hands every outcome on.
    void finish();

private:
    void deliver();

    CmdWndOwner& m_owner;
    CCmdWnd& m_cmdWnd;
    std::unique_ptr<CallRecorder> m_recorder;
    unsigned m_sampleRate = 0;
    Finished m_finished;
    Finished m_watcher;
    std::mutex m_mutex;
    std::vector<record_result_s> m_results;
};

} // namespace velkor
