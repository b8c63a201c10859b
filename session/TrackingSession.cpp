#include "session/TrackingSession.h"

#include "addrbook/AddrBook.h"
#include "bank/DecoderBank.h"
#include "cmdwnd/CCmdWnd.h"
#include "receiver/ReceiverFactory.h"
#include "session/CallRecording.h"
#include "session/EventOutputs.h"
#include "session/WebFeed.h"
#include "text/Cp1252.h"

namespace velkor {

TrackingSession::TrackingSession(CmdWndOwner& owner, AddrBook& book, Parts parts, std::string bookPath)
    : m_owner(owner)
    , m_book(book)
    , m_parts(std::move(parts))
    , m_bookPath(std::move(bookPath))
{
}

namespace {
// Tells each observer in turn (null ones skipped).
class CallObservers : public CallObserver {
public:
    explicit CallObservers(std::vector<CallObserver*> observers)
        : m_observers(std::move(observers))
    {
    }
    void callFollowed(const velkor_call_s& call, double mhz) override
    {
        for (CallObserver* o : m_observers)
            if (o)
                o->callFollowed(call, mhz);
    }
    void callLeft(const velkor_call_s& call, CallLeft how) override
    {
        for (CallObserver* o : m_observers)
            if (o)
                o->callLeft(call, how);
    }

private:
    std::vector<CallObserver*> m_observers;
};
} // namespace

TrackingSession::~TrackingSession()
{
    stop();
}

void TrackingSession::log(const std::string& line)
{
    m_owner.logList().append(line);
}

TrackingSession::Started TrackingSession::start()
{
    // What went wrong has been told through the book's notices; the session runs on
    // with what was loaded.
    (void)m_book.LoadData(m_bookPath);

    // A command window that cannot be built (its mixer raising an error) is handled
    // like one whose window cannot be created.
    try {
        m_cmdWnd = m_parts.commandWindow ? m_parts.commandWindow(m_owner) : nullptr;
    } catch (const std::exception&) {
        m_cmdWnd.reset();
    }
    if (!m_cmdWnd) {
        m_owner.notices().alert("Error creating command window!");
        return Started::NoCommandWindow;
    }

    if (m_parts.recorder)
        m_recording = std::make_unique<CallRecording>(m_owner, *m_cmdWnd, std::move(m_parts.recorder));
    if (m_recording)
        m_recording->setWatcher(m_recordingWatcher);
    if (m_callWatcher) {
        m_callObservers = std::make_unique<CallObservers>(std::vector<CallObserver*>{m_recording.get(), m_callWatcher});
        m_cmdWnd->tracker().setObserver(m_callObservers.get());
    }
    if (m_parts.dailyLog || m_parts.mqtt || m_parts.web)
        m_outputs = std::make_unique<EventOutputs>(m_owner, *m_cmdWnd, m_parts.dailyLog.get(), m_parts.mqtt.get(),
                                                   m_recording.get(), m_parts.web);
    if (m_parts.web)
        m_webFeed = std::make_unique<WebFeed>(m_owner, *m_cmdWnd, *m_parts.web);
    applySettings();
    if (m_parts.decodingRequired && !m_bank)
        return Started::NoDecoding;
    log("Initialized and running.");
    return Started::Running;
}

void TrackingSession::applySettings()
{
    // Without a command window (its creation failed at start-up) there is nothing to
    // decode into and no receiver to drive.
    if (!m_cmdWnd)
        return;
    const auto config = VelkorConfig::load();
    if (!config) {
        // Nothing is changed on a file that cannot be read: what runs keeps running.
        log("ERROR reading velkor.ini: " + config.error());
        return;
    }
    applySettings(config->settings());
}

void TrackingSession::applySettings(const velkor_settings_s& s)
{
    if (!m_cmdWnd)
        return;
    // A new bank starts with the plans; a running one takes them at its next block.
    m_settings.motorola_plans = s.motorola_plans;
    if (s.samplerate != m_settings.samplerate || s.samplerate_problem != m_settings.samplerate_problem) {
        // Remembered even when the bank fails, so that it is tried again only when the
        // configured rate changes.
        m_settings.samplerate = s.samplerate;
        m_settings.samplerate_problem = s.samplerate_problem;
        if (m_bank) {
            m_bank.reset();
            log("Restarting decoder thread.");
        } else {
            log("Starting decoder thread.");
        }
        if (!startDecoding(s.samplerate, s.samplerate_problem) && m_parts.decodingRequired)
            return;
    }

    m_settings.deemphasis = s.deemphasis;
    if (m_bank) {
        m_bank->SetDeemphasis(s.deemphasis);
        m_bank->SetMotorolaPlans(s.motorola_plans);
    }
    m_settings.mute = s.mute;

    // The server counts only for a receiver that is reached through one: editing it
    // while a serial scanner is in use restarts nothing.
    const bool serverChanged = receiverModel(s.receiver_type).network && m_settings.rigctl_server != s.rigctl_server;
    if (!m_receiverType || *m_receiverType != s.receiver_type || m_settings.comport != s.comport ||
        m_settings.memory != s.memory || serverChanged) {
        m_receiverType = s.receiver_type;
        m_settings.receiver_type = s.receiver_type;
        m_settings.comport = s.comport;
        m_settings.memory = s.memory;
        m_settings.rigctl_server = s.rigctl_server;
        m_cmdWnd->CreateReceiver(s.receiver_type, s.comport, s.memory, s.rigctl_server);
    }

    m_settings.follow_calls = s.follow_calls;
    m_settings.scan_on_clear = s.scan_on_clear;
    m_settings.auto_add = s.auto_add;
    m_settings.backlight = s.backlight;
    m_settings.return_to_cc = s.return_to_cc;
}

bool TrackingSession::startDecoding(unsigned sampleRate, const std::string& rateProblem)
{
    m_decodingError.clear();
    try {
        if (!rateProblem.empty())
            throw std::runtime_error(rateProblem);
        if (!m_parts.decoderBank)
            throw std::runtime_error("no audio input");
        CmdSink* sink = m_outputs ? static_cast<CmdSink*>(m_outputs.get()) : m_cmdWnd.get();
        m_bank = m_parts.decoderBank(sink, sampleRate, m_settings.motorola_plans);
        if (m_bank && m_recording)
            m_recording->attach(*m_bank);
        if (m_bank)
            return true;
        m_decodingError = "no audio input";
    } catch (const std::exception& e) {
        m_bank.reset();
        m_decodingError = e.what();
    }
    log("ERROR: Couldn't start collecting data, usupported samplerate?");
    log("Reason: " + utf8ToCp1252(m_decodingError));
    return false;
}

velkor::Status TrackingSession::saveBook()
{
    return m_book.SaveData(m_bookPath);
}

void TrackingSession::stop()
{
    // The owner may be going: it hears of no more recordings.
    if (m_recording)
        m_recording->setWatcher({});
    if (m_bank)
        m_bank->Stop();
    m_bank.reset();
    // The call being recorded ends with the input; its outcome reaches the calls file
    // below.
    if (m_recording)
        m_recording->finish();
    if (m_outputs) {
        // The calls still open end here; events still queued go with the command
        // window's, which drops them too.
        m_outputs->finish();
        if (m_recording)
            m_recording->setFinished({});
        m_outputs.reset();
    }
    if (m_parts.mqtt) {
        // What the broker has not taken within a few seconds is lost; say so.
        if (const size_t left = m_parts.mqtt->shutdown())
            log("MQTT: " + std::to_string(left) + " events could not be delivered to " + m_parts.mqtt->where());
    }
    if (m_cmdWnd && m_callObservers)
        m_cmdWnd->tracker().setObserver(m_recording.get());
    m_callObservers.reset();
    if (m_webFeed) {
        // The page's last state: nothing followed any more.
        m_webFeed->update();
        m_webFeed.reset();
    }
    m_recording.reset();
    m_cmdWnd.reset();
}

} // namespace velkor
