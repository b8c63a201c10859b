#include "cmdwnd/CallTracker.h"

#include "text/Cp1252.h"

#include <cstdio>

namespace velkor {

namespace {
constexpr const char* kMissingParams = "Couldn't tune receiver, missing system parameters!";

bool isSystemAddress(const velkor_address_s& a)
{
    return a.system != 0 && a.fleet == 0 && a.unit == 0;
}
} // namespace

CallTracker::CallTracker(CmdWndOwner& owner, TrackerTimers& timers, CmdSink& self)
    : m_owner(owner)
    , m_timers(timers)
    , m_self(self)
    , m_planSource([](uint32_t system) -> velkor::Result<velkor_channel_plan_s> {
        auto config = VelkorConfig::load();
        if (!config)
            return velkor::fail(config.error());
        return config->channelPlan(system);
    })
{
}

CallTracker::~CallTracker() = default;

void CallTracker::setReceiver(std::unique_ptr<CReceiverCtrl> receiver)
{
    m_receiver.reset();
    m_receiver = std::move(receiver);
}

void CallTracker::deleteReceiver()
{
    m_receiver.reset();
}

const velkor_system_params_s* CallTracker::systemParams(uint32_t system) const
{
    const auto it = m_systems.find(system);
    return it == m_systems.end() ? nullptr : &it->second;
}

void CallTracker::log(const std::string& line)
{
    m_owner.logList().append(line);
}

std::string CallTracker::nameOf(uint32_t system, uint32_t fleet, uint32_t unit) const
{
    // The book's names are UTF-8; the scanner's display is 8-bit.
    return utf8ToCp1252(m_owner.GetAddrName(system, fleet, unit));
}

std::optional<double> CallTracker::tuningFrequency(uint32_t system, uint32_t channel, int* narrow)
{
    const velkor_system_params_s* p = systemParams(system);
    if (!p) {
        log(kMissingParams);
        return std::nullopt;
    }
    const std::optional<double> mhz = channelFrequency(*p, channel);
    if (!mhz) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "Couldn't tune receiver, channel %u is below the channel offset %d of system %u!", channel,
                      static_cast<int>(p->offset), system);
        log(line);
        return std::nullopt;
    }
    *narrow = narrowFlag(*p);
    return mhz;
}

void CallTracker::reportCall(const velkor_call_s& reported)
{
    const velkor_settings_s settings = m_owner.currentSettings();
    if (settings.auto_add) {
        m_owner.AddAddr(reported.origin);
        m_owner.AddAddr(reported.target);
    }
    // A call already followed is never replaced by another.
    if (m_callCounter != 0)
        return;
    if (reported.target == m_suppressedTarget)
        return;
    if (!m_receiver || !settings.follow_calls)
        return;
    // A target that is in the book decides on its own; the origin counts only for a
    // target the book does not know.
    int checked = m_owner.IsAddrChecked(reported.target, 1);
    if (checked == -1)
        checked = m_owner.IsAddrChecked(reported.origin, 1);
    if (checked != 1)
        return;

    int narrow = 0;
    const std::optional<double> mhz = tuningFrequency(reported.target.system, reported.channel, &narrow);
    if (!mhz)
        return;
    if (settings.backlight)
        m_receiver->setBacklight(0);
    m_receiver->setFrequency(*mhz, narrow);

    velkor_call_s call = reported;
    if (call.control_channel == 0)
        call.control_channel = static_cast<uint32_t>(m_systems[call.target.system].control_channel);
    m_trackedCall = call;

    const velkor_address_s& t = call.target;
    const velkor_address_s& o = call.origin;
    std::string text;
    if (o.unit != 0 && !(o == t)) {
        text = nameOf(o.system, o.fleet, o.unit);
        if (t.unit != 0)
            text += " > ";
    }
    if (t.unit != 0)
        text += nameOf(t.system, t.fleet, t.unit);
    m_receiver->setText(text.c_str());
    const std::string fleet = nameOf(t.system, t.fleet, 0);
    m_receiver->setText2(fleet.c_str());

    m_callCounter = 1;
    m_timers.startTimer(kCallTimer, kCallTimerMs);
    m_owner.enableEndCall(true);
    m_squelchClear = false;
    if (m_observer)
        m_observer->callFollowed(m_trackedCall, *mhz);
}

void CallTracker::clearCall(const velkor_call_s& clear)
{
    leaveCall(clear, m_squelchClear && clear == m_trackedCall ? CallLeft::Squelch : CallLeft::Cleardown);
}

void CallTracker::leaveCall(const velkor_call_s& clear, CallLeft how)
{
    const velkor_settings_s settings = m_owner.currentSettings();
    if (m_callCounter == 0 || !m_receiver || !settings.follow_calls)
        return;
    if (settings.backlight)
        m_receiver->setBacklight(1);
    if (settings.scan_on_clear) {
        m_receiver->startScan();
    } else if (settings.return_to_cc) {
        int narrow = 0;
        if (const std::optional<double> mhz = tuningFrequency(clear.target.system, clear.control_channel, &narrow))
            m_receiver->setFrequency(*mhz, narrow);
    } else {
        m_receiver->setFrequency(0.0, 0);
    }
    const std::string system = nameOf(clear.target.system, 0, 0);
    m_receiver->setText(system.c_str());
    m_receiver->setText2(nullptr);

    char line[64];
    std::snprintf(line, sizeof line, "     | Call duration: %4um %2us        |", m_callCounter / 60,
                  m_callCounter % 60);
    log(line);

    m_timers.stopTimer(kCallTimer);
    m_callCounter = 0;
    if (settings.backlight)
        m_receiver->setBacklight(2);
    m_owner.enableEndCall(false);
    m_squelchClear = false;
    if (m_observer)
        m_observer->callLeft(m_trackedCall, how);
}

void CallTracker::endCall()
{
    const velkor_call_s clear = m_trackedCall;
    m_suppressedTarget = m_trackedCall.target;
    m_timers.stopTimer(kSuppressionTimer);
    m_timers.startTimer(kSuppressionTimer, kSuppressionTimerMs);
    leaveCall(clear, CallLeft::EndCall);
}

void CallTracker::onTimer(int id)
{
    if (id == kCallTimer) {
        if (m_callCounter == 0) {
            m_timers.stopTimer(kCallTimer);
            return;
        }
        ++m_callCounter;
        if (m_callCounter % kSquelchPeriod == 0 && (!m_receiver || m_receiver->isSquelchOpen() == 0)) {
            m_squelchClear = true;
            m_self.post(CMDWND_CLEAR_CALL, m_trackedCall);
        }
    } else if (id == kSuppressionTimer) {
        m_suppressedTarget = {};
        m_timers.stopTimer(kSuppressionTimer);
    }
}

void CallTracker::reportSystem(const velkor_address_s& a)
{
    const velkor_settings_s settings = m_owner.currentSettings();
    if (isSystemAddress(a)) {
        m_timers.stopTimer(kCallTimer);
        auto it = m_systems.find(a.system);
        if (it == m_systems.end()) {
            if (const auto plan = m_planSource(a.system))
                it = m_systems.emplace(a.system, velkor::systemParams(*plan)).first;
            else
                log("Couldn't read the channel plan of system " + std::to_string(a.system) + ": " + plan.error());
        }
        if (it != m_systems.end() && m_receiver) {
            if (const std::optional<int32_t> channel = frequencyChannel(it->second, m_receiver->getFrequency()))
                it->second.control_channel = *channel;
        }
        if (m_receiver && settings.follow_calls) {
            const std::string name = nameOf(a.system, 0, 0);
            m_receiver->setText(name.c_str());
        }
    }
    if (settings.auto_add)
        m_owner.AddAddr(a);
}

} // namespace velkor
