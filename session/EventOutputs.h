// Where the decoders' events go besides the command window: the daily files, an MQTT
// broker and the web page's backlog, each event with the names the address book has
// for its addresses.
//
// It stands between the decoder bank and the command window: post() and postFrom()
// (decoding thread) hand the command to the window and queue the event for itself on
// the window's thread, behind the window's own handling of it, so that the names are
// those the book has after the event (auto_add may have just added them) and a call is
// known to be followed once the tracker has seen it. Everything but post() runs on the
// command window's thread.
#pragma once

#include "events/DailyLog.h"
#include "events/EventBacklog.h"
#include "events/MqttPublisher.h"
#include "protocol/commands.h"

#include <QObject>

#include <map>
#include <memory>

namespace velkor {

class CallRecording;
class CCmdWnd;
class CmdWndOwner;
struct record_result_s;

class EventOutputs : public QObject, public CmdSink {
    Q_OBJECT
public:
    // Any output may be null. With a recording, a followed call's row waits for its
    // recording's outcome (the file it names), and each kept recording is an event.
    // The web backlog also gets each finished call as its recording's JSON.
    EventOutputs(CmdWndOwner& owner, CCmdWnd& cmdWnd, DailyLog* dailyLog, MqttPublisher* mqtt,
                 CallRecording* recording = nullptr, EventBacklog* web = nullptr);
    ~EventOutputs() override;

    void post(uint32_t code, CmdPayload payload) override;
    void postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload) override;

    // Ends the calls still open (their rows go to the calls file). Called once the
    // bank has stopped.
    void finish();

private:
    void handle(velkor_origin_s origin, uint32_t code, const CmdPayload& payload);
    void callFinished(call_record_s call);
    void recorded(const record_result_s& result);
    // A call with its recording's outcome known; json: the recording's, when kept.
    void finished(const call_record_s& call, const std::string& json);

    CmdWndOwner& m_owner;
    CCmdWnd& m_cmdWnd;
    DailyLog* m_dailyLog;
    MqttPublisher* m_mqtt;
    CallRecording* m_recording;
    EventBacklog* m_web;
    // Rows of followed calls whose recording is still being written, and outcomes
    // whose row has not finished yet; both by recording.
    std::map<uint64_t, call_record_s> m_waiting;
    std::map<uint64_t, record_result_s> m_recorded;
    CallLog m_calls;
};

} // namespace velkor
