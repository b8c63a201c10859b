#include "cmdwnd/CallTracker.h"

#include "text/Cp1252.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace velkor {

namespace {
constexpr const char* kMissingParams = "Couldn't tune receiver, missing system parameters!";

bool isSystemAddress(const velkor_address_s& a)
{
    return a.system != 0 && a.fleet == 0 && a.unit == 0;
}

// True when priority a goes before priority b (0 is none, below 9).
bool higherPriority(int a, int b)
{
    return a != 0 && (b == 0 || a < b);
}

bool sameParties(const velkor_call_s& a, const velkor_call_s& b)
{
    return (a.target == b.target && a.origin == b.origin) || (a.target == b.origin && a.origin == b.target);
}

std::string addressText(const velkor_address_s& a)
{
    std::string text = std::to_string(a.system);
    if (a.fleet != 0)
        text += "/" + std::to_string(a.fleet);
    if (a.fleet != 0 && a.unit != 0)
        text += "/" + std::to_string(a.unit);
    return text;
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
    , m_clock([] {
        return static_cast<int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
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
    // A bad band plan was logged when the system was loaded.
    if (!p->band_error.empty())
        return std::nullopt;
    const std::optional<double> mhz = channelFrequency(*p, channel);
    if (!mhz && hasBandPlan(*p)) {
        log("Couldn't tune receiver, channel " + std::to_string(channel) + " is not in the band plan of system " +
            std::to_string(system) + "!");
        return std::nullopt;
    }
    if (!mhz) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "Couldn't tune receiver, channel %u is below the channel offset %d of system %u!", channel,
                      static_cast<int>(p->offset), system);
        log(line);
        return std::nullopt;
    }
    *narrow = narrowFlag(*p, channel);
    return mhz;
}

std::string CallTracker::partiesText(const velkor_call_s& c) const
{
    const velkor_address_s& t = c.target;
    const velkor_address_s& o = c.origin;
    std::string text;
    if (o.unit != 0 && !(o == t)) {
        text = nameOf(o.system, o.fleet, o.unit);
        if (t.unit != 0)
            text += " > ";
    }
    if (t.unit != 0)
        text += nameOf(t.system, t.fleet, t.unit);
    return text;
}

std::string CallTracker::describe(const velkor_call_s& c) const
{
    const std::string parties = partiesText(c);
    return parties.empty() ? nameOf(c.target.system, c.target.fleet, 0) : parties;
}

void CallTracker::decision(const std::string& text)
{
    const std::string line = "     | " + text;
    if (line == m_lastDecision)
        return;
    m_lastDecision = line;
    log(line);
}

velkor_follow_rule_s CallTracker::ruleOf(const velkor_call_s& c) const
{
    const velkor_follow_rule_s t = m_owner.FollowRule(c.target);
    const velkor_follow_rule_s o = m_owner.FollowRule(c.origin);
    return {t.lockout || o.lockout, higherPriority(o.priority, t.priority) ? o.priority : t.priority};
}

bool CallTracker::isHeld(const velkor_address_s& a) const
{
    for (const velkor_address_s& h : m_holds) {
        if (h.system == a.system && (h.fleet == 0 || (h.fleet == a.fleet && (h.unit == 0 || h.unit == a.unit))))
            return true;
    }
    return false;
}

bool CallTracker::hold(const velkor_address_s& a)
{
    if (a.system == 0 || std::find(m_holds.begin(), m_holds.end(), a) != m_holds.end())
        return false;
    m_holds.push_back(a);
    decision("Hold on " + nameOf(a.system, a.fleet, a.unit) + " (" + addressText(a) + ")");
    return true;
}

bool CallTracker::release(const velkor_address_s& a)
{
    const auto it = std::find(m_holds.begin(), m_holds.end(), a);
    if (it == m_holds.end())
        return false;
    m_holds.erase(it);
    decision("Hold released: " + nameOf(a.system, a.fleet, a.unit) + " (" + addressText(a) + ")");
    return true;
}

bool CallTracker::eligible(const velkor_call_s& c, const velkor_follow_rule_s& rule)
{
    const bool holding = !m_holds.empty();
    const bool held = holding && (isHeld(c.target) || isHeld(c.origin));
    // A target that is in the book decides on its own; the origin counts only for a
    // target the book does not know. Only a call that may be followed selects its row.
    const int select = !rule.lockout && (!holding || held) ? 1 : 0;
    int checked = m_owner.IsAddrChecked(c.target, select);
    if (checked == -1)
        checked = m_owner.IsAddrChecked(c.origin, select);
    if (holding ? !held : checked != 1) {
        if (holding && checked == 1 && !rule.lockout) {
            std::string names;
            for (const velkor_address_s& h : m_holds)
                names += (names.empty() ? "" : ", ") + nameOf(h.system, h.fleet, h.unit);
            decision("Held: " + describe(c) + " not followed, holding " + names);
        }
        return false;
    }
    if (rule.lockout) {
        decision("Locked out: " + describe(c));
        return false;
    }
    return true;
}

bool CallTracker::resumeWaits(const velkor_call_s& c, int priority)
{
    if (!m_resumeOpen)
        return false;
    if (m_clock() >= m_resumeUntil) {
        m_resumeOpen = false;
        return false;
    }
    if (sameParties(c, m_resumeCall) || higherPriority(priority, m_resumePriority))
        return false;
    decision("Resume: " + describe(c) + " not followed, waiting for " + describe(m_resumeCall));
    return true;
}

void CallTracker::reportCall(const velkor_call_s& reported)
{
    const velkor_settings_s settings = m_owner.currentSettings();
    if (settings.auto_add) {
        m_owner.AddAddr(reported.origin);
        m_owner.AddAddr(reported.target);
    }
    // A call already followed gives way only to one of strictly higher priority.
    if (m_callCounter != 0) {
        takeOver(reported, settings);
        return;
    }
    if (reported.target == m_suppressedTarget)
        return;
    if (!m_receiver || !settings.follow_calls)
        return;
    const velkor_follow_rule_s rule = ruleOf(reported);
    // Why a call is not followed is said once: a call that would not be followed
    // anyway does not wait for the resume.
    if (!eligible(reported, rule) || resumeWaits(reported, rule.priority))
        return;
    int narrow = 0;
    if (const std::optional<double> mhz = tuningFrequency(reported.target.system, reported.channel, &narrow))
        follow(reported, rule.priority, *mhz, narrow, settings);
}

void CallTracker::takeOver(const velkor_call_s& reported, const velkor_settings_s& settings)
{
    const velkor_follow_rule_s rule = ruleOf(reported);
    if (!higherPriority(rule.priority, m_trackedPriority))
        return;
    if (reported.target == m_suppressedTarget || !m_receiver || !settings.follow_calls)
        return;
    if (!eligible(reported, rule))
        return;
    int narrow = 0;
    const std::optional<double> mhz = tuningFrequency(reported.target.system, reported.channel, &narrow);
    if (!mhz)
        return;
    log("     | Priority call " + describe(reported) + " takes over from " + describe(m_trackedCall));
    // The call given up ends with its duration line; the receiver goes straight on to
    // the new channel.
    stopTimedCall();
    if (m_observer)
        m_observer->callLeft(m_trackedCall, CallLeft::Takeover);
    follow(reported, rule.priority, *mhz, narrow, settings);
}

void CallTracker::stopTimedCall()
{
    char line[64];
    std::snprintf(line, sizeof line, "     | Call duration: %4um %2us        |", m_callCounter / 60,
                  m_callCounter % 60);
    log(line);
    m_timers.stopTimer(kCallTimer);
    m_callCounter = 0;
}

void CallTracker::follow(const velkor_call_s& reported, int priority, double mhz, int narrow,
                         const velkor_settings_s& settings)
{
    if (settings.backlight)
        m_receiver->setBacklight(0);
    m_receiver->setFrequency(mhz, narrow);

    velkor_call_s call = reported;
    if (call.control_channel == 0)
        call.control_channel = static_cast<uint32_t>(m_systems[call.target.system].control_channel);
    m_trackedCall = call;
    m_trackedPriority = priority;
    m_resumeOpen = false;
    m_lastDecision.clear();

    const std::string text = partiesText(call);
    m_receiver->setText(text.c_str());
    const std::string fleet = nameOf(call.target.system, call.target.fleet, 0);
    m_receiver->setText2(fleet.c_str());

    m_callCounter = 1;
    m_timers.startTimer(kCallTimer, kCallTimerMs);
    m_owner.enableEndCall(true);
    m_squelchClear = false;
    if (m_observer)
        m_observer->callFollowed(m_trackedCall, mhz);
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

    stopTimedCall();
    if (settings.backlight)
        m_receiver->setBacklight(2);
    m_owner.enableEndCall(false);
    // The conversation may go on in a new grant; End Call means it is not wanted.
    m_resumeOpen = how != CallLeft::EndCall && settings.resume_ms > 0;
    m_resumeCall = m_trackedCall;
    m_resumePriority = m_trackedPriority;
    m_resumeUntil = m_clock() + settings.resume_ms;
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
            if (const auto plan = m_planSource(a.system)) {
                it = m_systems.emplace(a.system, velkor::systemParams(*plan)).first;
                if (!plan->band_error.empty())
                    log("Bad band plan of system " + std::to_string(a.system) +
                        ", its calls are not followed: " + plan->band_error);
            } else
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
