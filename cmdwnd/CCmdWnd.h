// The command window: the one consumer of every decoder event. Decoders on the capture
// thread post commands (post() is thread-safe); the window handles them on its own
// thread (the GUI thread), one at a time, in posting order, and owns each payload from
// the moment it is posted. It keeps the log list through its owner, follows calls with
// the receiver (CallTracker), and mutes the Line-In while control-channel data is
// heard.
//
// Destroying it unmutes the Line-In (when muting is on), deletes the receiver, which
// restores the scanner, and closes the mixer, in that order. Commands still queued then
// are dropped with their payloads.
#pragma once

#include "cmdwnd/CallTracker.h"
#include "cmdwnd/CmdDispatch.h"
#include "cmdwnd/CmdWndOwner.h"
#include "cmdwnd/DecodeActivity.h"
#include "mixer/LineInMixer.h"

#include <QBasicTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace velkor {

// Notes become log lines posted to a command window, so that they keep their order
// with its other lines; alerts go on to the owner's notices.
class PostedNotes final : public Notices {
public:
    PostedNotes(CmdSink& sink, Notices& alerts)
        : m_sink(sink)
        , m_alerts(alerts)
    {
    }
    void alert(const std::string& text) override { m_alerts.alert(text); }
    void note(const std::string& line) override { m_sink.post(CMDWND_ADD_LOGSTR, LogText(line)); }

private:
    CmdSink& m_sink;
    Notices& m_alerts;
};

class CCmdWnd : public QObject, public CmdSink, private CmdHandler, private TrackerTimers {
    Q_OBJECT
public:
    // mixer: the backend of the Line-In mixer; without one (or when it finds nothing
    // to mute) the window logs one line and runs without muting. Opening it waits for
    // a sound server at most for the backend's time-out, never longer.
    CCmdWnd(CmdWndOwner& owner, std::unique_ptr<MixerBackend> mixer, QObject* parent = nullptr);
    // With the system's mixer (DefaultMixerBackend): the sound server's playback of the
    // decoded source, or ALSA's "Line" and "Mic" playback elements.
    explicit CCmdWnd(CmdWndOwner& owner);
    ~CCmdWnd() override;

    // From any thread.
    void post(uint32_t code, CmdPayload payload) override;
    // A decoder's event: also counted in activity().
    void postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload) override;
    // The same, and the observer hears of it on this object's thread right after the
    // event is handled (in the same delivery: one wake-up of the thread for both).
    void postObserved(const velkor_origin_s& origin, uint32_t code, CmdPayload payload);
    using Observer = std::function<void(const velkor_origin_s& origin, uint32_t code, const CmdPayload& payload)>;
    // On this object's thread; an empty one stops it (events already posted then go
    // unobserved).
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // Handles one command now; the event handler calls it for every posted command.
    void OnCmdWndMessage(uint32_t code, CmdPayload payload);
    // The timers' handler; tests call it directly instead of waiting.
    void OnTimer(int id);

    // Replaces the receiver with the driver of the type (receiverModels(): 1 Uniden
    // 250/785, 2 experimental, 3 Hamlib rigctl, any other the 245/780) on COM port
    // `port`; port 0 leaves none. Type 3 is at `server` (HOST:PORT, from [rigctl]) and
    // uses no port; an empty server leaves none. Posts the outcome as a log line, and
    // the network receiver's own lines as they come. 0 when building the driver failed,
    // else 1.
    int CreateReceiver(uint32_t type, uint32_t port, uint32_t memory, const std::string& server = {});

    // Where the device of a COM port comes from: velkor.ini in the current directory,
    // read at every CreateReceiver, unless replaced. A failure for a port that names no
    // device.
    using PortDeviceSource = std::function<velkor::Result<std::string>(uint32_t port)>;
    void setPortDeviceSource(PortDeviceSource source) { m_portDevice = std::move(source); }

    CallTracker& tracker() { return m_tracker; }
    // Where the event being handled came from (the decoder, its block's time); empty
    // outside the handling of a posted event.
    const velkor_origin_s& handlingOrigin() const { return m_handling; }
    LineInMixer* mixer() const { return m_mixer.get(); }
    // What the decoders have been hearing, for a status line.
    DecodeActivity& activity() { return m_activity; }

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // CmdHandler
    LogListView& logList() override { return m_owner.logList(); }
    velkor::Notices& notices() override { return m_owner.notices(); }
    bool muteEnabled() const override { return m_owner.currentSettings().mute; }
    void setMuted(bool muted) override;
    void reportCall(const velkor_call_s& call) override { m_tracker.reportCall(call); }
    void clearCall(const velkor_call_s& call) override { m_tracker.clearCall(call); }
    void endCall() override { m_tracker.endCall(); }
    void reportSystem(const velkor_address_s& address) override { m_tracker.reportSystem(address); }
    // TrackerTimers
    void startTimer(int id, int intervalMs) override;
    void stopTimer(int id) override;

    CmdWndOwner& m_owner;
    std::unique_ptr<LineInMixer> m_mixer;
    DecodeActivity m_activity;
    CallTracker m_tracker;
    QBasicTimer m_callTimer;
    QBasicTimer m_suppressionTimer;
    PortDeviceSource m_portDevice;
    velkor_origin_s m_handling;
    Observer m_observer;
    velkor::PostedNotes m_receiverNotes{*this, m_owner.notices()};
};

} // namespace velkor
