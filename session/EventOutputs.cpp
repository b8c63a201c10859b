#include "session/EventOutputs.h"

#include "cmdwnd/CCmdWnd.h"
#include "cmdwnd/ChannelPlan.h"
#include "events/EventJson.h"

#include <QMetaObject>

namespace velkor {

EventOutputs::EventOutputs(CmdWndOwner& owner, CCmdWnd& cmdWnd, DailyLog* dailyLog, MqttPublisher* mqtt)
    : m_owner(owner)
    , m_cmdWnd(cmdWnd)
    , m_dailyLog(dailyLog)
    , m_mqtt(mqtt)
    , m_calls([this](const call_record_s& call) {
        if (m_dailyLog)
            m_dailyLog->call(call);
    })
{
}

EventOutputs::~EventOutputs() = default;

void EventOutputs::post(uint32_t code, CmdPayload payload)
{
    postFrom({}, code, std::move(payload));
}

void EventOutputs::postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
{
    // The copy first, so that the window's event is queued ahead of ours. Pending
    // events of ours go with this object when it is deleted.
    CmdPayload copy = payload;
    m_cmdWnd.postFrom(origin, code, std::move(payload));
    QMetaObject::invokeMethod(
        this, [this, origin, code, copy = std::move(copy)] { handle(origin, code, copy); }, Qt::QueuedConnection);
}

void EventOutputs::handle(velkor_origin_s origin, uint32_t code, const CmdPayload& payload)
{
    if (!origin.timed())
        origin.time = EventClock::now();
    const AddressNameLookup lookup = [this](uint32_t system, uint32_t fleet, uint32_t unit) {
        return m_owner.GetAddrName(system, fleet, unit);
    };
    const std::optional<velkor_event_names_s> names = eventNames(code, payload, lookup);
    const std::string json = eventJson(origin, code, payload, names ? &*names : nullptr);
    if (m_mqtt)
        m_mqtt->publish(code, json);
    if (m_dailyLog)
        m_dailyLog->event(json);

    const auto* call = std::get_if<velkor_call_s>(&payload);
    if (!call)
        return;
    if (code == CMDWND_CLEAR_CALL) {
        m_calls.clear(origin, *call);
    } else if (code == CMDWND_REPORT_CALL) {
        const CallTracker& tracker = m_cmdWnd.tracker();
        const velkor_call_s& tracked = tracker.trackedCall();
        const bool followed = tracker.callCounter() != 0 && tracked.target == call->target &&
            tracked.origin == call->origin && tracked.channel == call->channel;
        std::optional<double> mhz;
        if (const velkor_system_params_s* plan = tracker.systemParams(call->target.system))
            mhz = channelFrequency(*plan, call->channel);
        m_calls.report(origin, *call, names ? *names : velkor_event_names_s{}, mhz, followed);
    }
}

void EventOutputs::finish()
{
    m_calls.finishAll();
}

} // namespace velkor
