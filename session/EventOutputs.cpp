#include "session/EventOutputs.h"

#include "cmdwnd/CCmdWnd.h"
#include "cmdwnd/ChannelPlan.h"
#include "events/EventJson.h"
#include "session/CallRecording.h"

#include <nlohmann/json.hpp>

namespace velkor {

EventOutputs::EventOutputs(CmdWndOwner& owner, CCmdWnd& cmdWnd, DailyLog* dailyLog, MqttPublisher* mqtt,
                           CallRecording* recording, EventBacklog* web)
    : m_owner(owner)
    , m_cmdWnd(cmdWnd)
    , m_dailyLog(dailyLog)
    , m_mqtt(mqtt)
    , m_recording(recording)
    , m_web(web)
    , m_calls([this](const call_record_s& call) { callFinished(call); })
{
    if (m_recording)
        m_recording->setFinished([this](const record_result_s& result) { recorded(result); });
    m_cmdWnd.setObserver([this](const velkor_origin_s& origin, uint32_t code, const CmdPayload& payload) {
        handle(origin, code, payload);
    });
}

EventOutputs::~EventOutputs()
{
    m_cmdWnd.setObserver({});
}

void EventOutputs::post(uint32_t code, CmdPayload payload)
{
    postFrom({}, code, std::move(payload));
}

void EventOutputs::postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
{
    // Handled right after the window has handled the event (the tracker has then seen
    // it), in the same delivery: one wake-up of the window's thread per event, not two.
    // Not at all once this object is gone. Nothing is copied here, on the decoders'
    // thread.
    m_cmdWnd.postObserved(origin, code, std::move(payload));
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
    if (m_web)
        m_web->add(json);

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
        const uint64_t recording = followed && m_recording ? m_recording->openCall() : 0;
        m_calls.report(origin, *call, names ? *names : velkor_event_names_s{}, mhz, followed, recording);
    }
}

void EventOutputs::callFinished(call_record_s call)
{
    if (call.recordingId != 0) {
        const auto done = m_recorded.find(call.recordingId);
        if (done == m_recorded.end()) {
            m_waiting[call.recordingId] = call;
            return;
        }
        call.recording = done->second.audio;
        const std::string json = done->second.json;
        m_recorded.erase(done);
        finished(call, json);
        return;
    }
    finished(call, {});
}

void EventOutputs::recorded(const record_result_s& result)
{
    if (result.kept) {
        // The JSON file's fields, as an event of the program's own.
        const std::string json = R"({"cmd":"CALL_RECORDED",)" + result.json.substr(1);
        if (m_mqtt)
            m_mqtt->publish(m_mqtt->baseTopic() + "/call_recorded", json);
        if (m_dailyLog)
            m_dailyLog->event(json);
        if (m_web)
            m_web->add(json);
    }
    const auto waiting = m_waiting.find(result.id);
    if (waiting == m_waiting.end()) {
        m_recorded[result.id] = result;
        return;
    }
    call_record_s call = waiting->second;
    m_waiting.erase(waiting);
    call.recording = result.audio;
    finished(call, result.kept ? result.json : std::string());
}

void EventOutputs::finished(const call_record_s& call, const std::string& json)
{
    if (m_dailyLog)
        m_dailyLog->call(call);
    if (!m_web)
        return;
    // The recording's JSON; for a call without one, the same fields from the events.
    std::string text = json;
    if (text.empty()) {
        record_call_s c;
        c.protocol = call.protocol;
        c.target = {call.call.target, call.names.target.unit};
        c.origin = {call.call.origin, call.names.origin.unit};
        c.systemName = call.names.target.system;
        c.channel = call.call.channel;
        if (call.mhz)
            c.freqHz = *call.mhz * 1e6;
        const double seconds = std::chrono::duration<double>(call.end - call.start).count();
        text = callJson(c, call.start, call.end, seconds, {}, CallEnd::Cleardown);
    }
    auto object = nlohmann::ordered_json::parse(text, nullptr, false);
    if (!object.is_object())
        return;
    // Where the page finds the audio: the path in the record folder.
    object["recording"] = json.empty() ? std::string() : call.recording;
    m_web->addCall(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void EventOutputs::finish()
{
    m_calls.finishAll();
    // A recording that never told its outcome kept nothing.
    while (!m_waiting.empty()) {
        call_record_s call = m_waiting.begin()->second;
        m_waiting.erase(m_waiting.begin());
        call.recordingId = 0;
        callFinished(call);
    }
}

} // namespace velkor
