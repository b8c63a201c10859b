// Follows calls with the receiver. A reported call whose called unit is checked in the
// address book (or, when the called unit is not in the book, whose calling unit is)
// tunes the scanner to the traffic channel, writes the parties' names into its display
// and starts the call timer; a clear-down, a closed squelch or End Call sends the
// scanner back (scanning, the control channel, or no frequency) and logs the call's
// duration. System reports load each system's channel plan and learn the control
// channel the scanner is on.
//
// Which calls: a call is locked out when its target or its origin is (by the book's
// rules), and then never followed. While holds are set, only calls with a held party
// are followed, checked or not. A call's priority is the higher of its parties'; a
// call of strictly higher priority takes the receiver from the one followed. After a
// followed call ends, a call between the same two parties within resume_ms goes
// before any other. Each decision that keeps the scanner from a marked call, or moves
// it, is one log line.
//
// Qt-free: the command window gives it its two timers and a way to post to itself.
// Everything runs on the command window's thread.
#pragma once

#include "cmdwnd/ChannelPlan.h"
#include "cmdwnd/CmdWndOwner.h"
#include "notify/Result.h"
#include "receiver/CReceiverCtrl.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velkor {

// The two window timers of the command window.
class TrackerTimers {
public:
    virtual ~TrackerTimers() = default;
    // Starts the timer, or starts it again when it runs.
    virtual void startTimer(int id, int intervalMs) = 0;
    virtual void stopTimer(int id) = 0;
};

// How a followed call ended: a decoder's clear-down, the squelch found closed, End Call.
enum class CallLeft { Cleardown, Squelch, EndCall, Takeover };

// Told when the receiver has been tuned to a followed call, with its frequency, and
// when the call is over (the scanner sent back).
class CallObserver {
public:
    virtual ~CallObserver() = default;
    virtual void callFollowed(const velkor_call_s& call, double mhz) = 0;
    virtual void callLeft(const velkor_call_s& call, CallLeft how) = 0;
};

class CallTracker {
public:
    static constexpr int kCallTimer = 1;
    static constexpr int kCallTimerMs = 1000;
    static constexpr int kSuppressionTimer = 2;
    static constexpr int kSuppressionTimerMs = 10000;
    // The squelch is queried whenever the call counter reaches a multiple of this.
    static constexpr uint32_t kSquelchPeriod = 5;

    // self receives the clears of the squelch query, as any other poster's.
    CallTracker(CmdWndOwner& owner, TrackerTimers& timers, CmdSink& self);
    ~CallTracker();

    void reportCall(const velkor_call_s& call);
    void clearCall(const velkor_call_s& call);
    void endCall();
    void reportSystem(const velkor_address_s& address);
    void onTimer(int id);

    // Holds a system ({s, 0, 0}), a fleet ({s, f, 0}) or a unit: while any hold is set,
    // only calls with a held party are followed. Holds last as long as the tracker and
    // are never saved. Both log the change; false for system 0 or nothing to change.
    bool hold(const velkor_address_s& a);
    bool release(const velkor_address_s& a);
    const std::vector<velkor_address_s>& holds() const { return m_holds; }
    // Whether a hold covers the address.
    bool isHeld(const velkor_address_s& a) const;

    // Milliseconds of a steady clock, for the resume delay; tests set their own.
    using Clock = std::function<int64_t()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Replaces the receiver; the old one is deleted first (it restores the scanner).
    void setReceiver(std::unique_ptr<CReceiverCtrl> receiver);
    void deleteReceiver();
    CReceiverCtrl* receiver() const { return m_receiver.get(); }

    // Where a system's channel plan comes from: velkor.ini in the current directory
    // unless replaced. When it fails, the system stays unknown and is loaded again at
    // its next report.
    using PlanSource = std::function<velkor::Result<velkor_channel_plan_s>(uint32_t system)>;
    void setPlanSource(PlanSource source) { m_planSource = std::move(source); }

    // Null: nobody is told.
    void setObserver(CallObserver* observer) { m_observer = observer; }

    uint32_t callCounter() const { return m_callCounter; }
    const velkor_call_s& trackedCall() const { return m_trackedCall; }
    const velkor_address_s& suppressedTarget() const { return m_suppressedTarget; }
    const velkor_system_params_s* systemParams(uint32_t system) const;
    // Priority of the tracked call (0 none, 1 the highest).
    int trackedPriority() const { return m_trackedPriority; }

private:
    void leaveCall(const velkor_call_s& clear, CallLeft how);
    void log(const std::string& line);
    // The frequency of channel, or nullopt after logging why the receiver cannot be
    // tuned there.
    std::optional<double> tuningFrequency(uint32_t system, uint32_t channel, int* narrow);
    std::string nameOf(uint32_t system, uint32_t fleet, uint32_t unit) const;
    // The parties as the scanner's first line shows them ("Bravo > Alpha").
    std::string partiesText(const velkor_call_s& c) const;
    std::string describe(const velkor_call_s& c) const;
    // A decision line, left out when it repeats the one before.
    void decision(const std::string& text);

    velkor_follow_rule_s ruleOf(const velkor_call_s& c) const;
    // Checked (or held) and not locked out; logs why a marked call is not followed.
    bool eligible(const velkor_call_s& c, const velkor_follow_rule_s& rule);
    // A call other than the one to resume while the resume delay runs.
    bool resumeWaits(const velkor_call_s& c, int priority);
    void takeOver(const velkor_call_s& c, const velkor_settings_s& settings);
    void follow(const velkor_call_s& c, int priority, double mhz, int narrow, const velkor_settings_s& settings);
    // Logs the followed call's duration line and stops its timer.
    void stopTimedCall();

    CmdWndOwner& m_owner;
    TrackerTimers& m_timers;
    CmdSink& m_self;
    PlanSource m_planSource;

    std::unique_ptr<CReceiverCtrl> m_receiver;
    std::map<uint32_t, velkor_system_params_s> m_systems;
    uint32_t m_callCounter = 0;
    velkor_address_s m_suppressedTarget{};
    velkor_call_s m_trackedCall{};
    int m_trackedPriority = 0;

    std::vector<velkor_address_s> m_holds;
    Clock m_clock;
    // The call last ended, which may resume until m_resumeUntil.
    bool m_resumeOpen = false;
    velkor_call_s m_resumeCall{};
    int m_resumePriority = 0;
    int64_t m_resumeUntil = 0;
    std::string m_lastDecision;
    CallObserver* m_observer = nullptr;
    // The squelch query has posted a clear of the tracked call.
    bool m_squelchClear = false;
};

} // namespace velkor
