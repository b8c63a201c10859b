// One tracking session: the address book, the command window, the settings as last
// applied and the decoder bank, started and ended in the one order that keeps them
// safe. The dialog and the headless tracker both run their session through it.
//
// Start-up: the book is loaded, the command window is built, velkor.ini is applied
// (which starts the decoder bank and sets up the receiver), and the log says
// "Initialized and running.". Shutdown: the decoder bank is stopped and deleted first,
// so that no decoder posts into a command window that is going (the bank holds a plain
// pointer to it); then the command window goes, which unmutes the Line-In, gives the
// scanner back and closes the mixer. The book is saved by saveBook(), which the owner
// calls when the user asks to quit, before the session stops.
//
// Everything runs on the thread of the command window (the GUI thread).
#pragma once

#include "cmdwnd/CmdWndOwner.h"
#include "events/DailyLog.h"
#include "events/EventBacklog.h"
#include "events/MqttPublisher.h"
#include "notify/Result.h"
#include "profile/VelkorConfig.h"
#include "record/CallRecorder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velkor {

class AddrBook;
class CallObserver;
class CallRecording;
class CCmdWnd;
class DecoderBank;
class EventOutputs;
class WebFeed;

class TrackingSession {
public:
    // How the session builds what it owns. Both may throw: a command window that cannot
    // be built stops the start-up; a decoder bank that cannot be built is logged.
    struct Parts {
        std::function<std::unique_ptr<CCmdWnd>(CmdWndOwner& owner)> commandWindow;
        // plans: Motorola's band plans from velkor.ini, for the bank to start with.
        std::function<std::unique_ptr<DecoderBank>(CmdSink* cmdWnd, unsigned sampleRate, const MotorolaPlans& plans)>
            decoderBank;
        // Without decoding there is nothing to track: when set, a decoder bank that
        // cannot be built ends the start-up there (no receiver is set up).
        bool decodingRequired = false;
        // Where the decoders' events also go, each with the book's names (either may
        // be null): the daily files, an MQTT broker. The session owns them; the
        // publisher is shut down (its queue delivered, the status "offline") when the
        // session stops.
        std::unique_ptr<DailyLog> dailyLog;
        std::unique_ptr<MqttPublisher> mqtt;
        // Records every followed call (null: none). The session owns it; an open call
        // ends with the input when the session stops.
        std::unique_ptr<CallRecorder> recorder;
        // The web page's events, calls and state (null: none). Owned by the caller; it
        // outlives the session.
        EventBacklog* web = nullptr;
    };

    // owner: the log list, the address book lookups and the End Call button; book: the
    // book the owner shows, loaded from and saved to bookPath (named relative to the
    // working directory at each access).
    TrackingSession(CmdWndOwner& owner, AddrBook& book, Parts parts, std::string bookPath = "addrbook.ini");
    ~TrackingSession();
    TrackingSession(const TrackingSession&) = delete;
    TrackingSession& operator=(const TrackingSession&) = delete;

    enum class Started { Running, NoCommandWindow, NoDecoding };
    // The start-up. With NoCommandWindow "Error creating command window!" has been
    // told to the owner's notices and nothing runs (the book is loaded all the same).
    Started start();

    // Reads velkor.ini and restarts what changed since it was last applied: a new sample
    // rate restarts the decoder bank, a new receiver type, port or memory number (or,
    // for the network receiver, server) sets up the receiver again, flags take effect
    // with the next command. A file that
    // cannot be read changes nothing (one log line says why).
    void applySettings();
    void applySettings(const velkor_settings_s& settings);

    // Where the outcome of each recorded call also goes (the command window's thread),
    // until the session stops; set before start().
    void watchRecordings(std::function<void(const record_result_s& result)> watcher)
    {
        m_recordingWatcher = std::move(watcher);
    }

    // Also told when the tracker follows a call and when it leaves it (the command
    // window's thread), after the recorder; set before start(), told until stop().
    void watchCalls(CallObserver* watcher) { m_callWatcher = watcher; }

    // Saves the book, or says why it could not.
    velkor::Status saveBook();

    // The decoder bank, then the command window. Safe to call more than once.
    void stop();

    // The settings as last applied: all off and no rate until the first application.
    const velkor_settings_s& settings() const { return m_settings; }
    CCmdWnd* commandWindow() const { return m_cmdWnd.get(); }
    DecoderBank* decoderBank() const { return m_bank.get(); }
    // Why the last decoder bank could not be built; empty while one runs.
    const std::string& decodingError() const { return m_decodingError; }

private:
    bool startDecoding(unsigned sampleRate, const std::string& rateProblem);
    void log(const std::string& line);

    CmdWndOwner& m_owner;
    AddrBook& m_book;
    Parts m_parts;
    std::string m_bookPath;
    // The command window is declared before the bank, so that even a forgotten stop()
    // takes the bank down first.
    std::unique_ptr<CCmdWnd> m_cmdWnd;
    std::unique_ptr<CallRecording> m_recording;
    // Between the bank and the command window when the events go anywhere else.
    std::unique_ptr<EventOutputs> m_outputs;
    std::unique_ptr<WebFeed> m_webFeed;
    std::unique_ptr<DecoderBank> m_bank;
    velkor_settings_s m_settings{0, false, 0, 0, 0, false, false, false, false, false};
    // Unset until applied, so that the first application always sets up the receiver.
    std::optional<uint32_t> m_receiverType;
    std::string m_decodingError;
    std::function<void(const record_result_s& result)> m_recordingWatcher;
    CallObserver* m_callWatcher = nullptr;
    // The tracker's observer when the recorder and the watcher both hear its calls.
    std::unique_ptr<CallObserver> m_callObservers;
};

} // namespace velkor
