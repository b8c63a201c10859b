// Where the decoders' events go besides the command window: the daily files and an
// MQTT broker, each event with the names the address book has for its addresses.
//
// It stands between the decoder bank and the command window: post() and postFrom()
// (decoding thread) hand the command to the window and queue the event for itself on
// the window's thread, behind the window's own handling of it, so that the names are
// those the book has after the event (auto_add may have just added them) and a call is
// known to be followed once the tracker has seen it. Everything but post() runs on the
// command window's thread.
#pragma once

#include "events/DailyLog.h"
#include "events/MqttPublisher.h"
#include "protocol/commands.h"

#include <QObject>

#include <memory>

namespace velkor {

class CCmdWnd;
class CmdWndOwner;

class EventOutputs : public QObject, public CmdSink {
    Q_OBJECT
public:
    // Either output may be null.
    EventOutputs(CmdWndOwner& owner, CCmdWnd& cmdWnd, DailyLog* dailyLog, MqttPublisher* mqtt);
    ~EventOutputs() override;

    void post(uint32_t code, CmdPayload payload) override;
    void postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload) override;

    // Ends the calls still open (their rows go to the calls file). Called once the
    // bank has stopped.
    void finish();

private:
    void handle(velkor_origin_s origin, uint32_t code, const CmdPayload& payload);

    CmdWndOwner& m_owner;
    CCmdWnd& m_cmdWnd;
    DailyLog* m_dailyLog;
    MqttPublisher* m_mqtt;
    CallLog m_calls;
};

} // namespace velkor
