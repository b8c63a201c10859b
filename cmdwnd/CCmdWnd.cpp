#include "cmdwnd/CCmdWnd.h"

#include "mixer/DefaultMixerBackend.h"
#include "profile/VelkorConfig.h"
#include "receiver/ReceiverFactory.h"
#include "receiver/RigctlLink.h"
#include "text/Cp1252.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

#include <cstdio>

namespace velkor {

namespace {

// One posted command; Qt owns the event, the event owns the payload, so a command
// dropped at destruction frees its payload with it.
class CmdEvent : public QEvent {
public:
    CmdEvent(uint32_t code, CmdPayload payload, const velkor_origin_s& origin = {})
        : QEvent(type())
        , code(code)
        , payload(std::move(payload))
        , origin(origin)
    {
    }
    static QEvent::Type type()
    {
        static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
        return t;
    }
    uint32_t code;
    CmdPayload payload;
    velkor_origin_s origin;
    bool observed = false;
};

} // namespace

CCmdWnd::CCmdWnd(CmdWndOwner& owner, std::unique_ptr<MixerBackend> mixer, QObject* parent)
    : QObject(parent)
    , m_owner(owner)
    , m_tracker(owner, *this, *this)
    , m_portDevice([](uint32_t port) { return VelkorConfig::comPortDevice(port); })
{
    setObjectName(QStringLiteral("velkor command window"));
    try {
        m_mixer = std::make_unique<LineInMixer>(std::move(mixer), m_owner.notices());
    } catch (const MixerError& e) {
        // Nothing that plays the scanner to the speakers (or a sound server that does
        // not answer): decoding and tracking go on all the same, without muting.
        m_owner.logList().append(std::string("Line-In muting unavailable: ") + e.what() +
                                 (e.detail().empty() ? std::string() : " (" + e.detail() + ")"));
    }
}

CCmdWnd::CCmdWnd(CmdWndOwner& owner)
    : CCmdWnd(owner, std::make_unique<DefaultMixerBackend>())
{
}

CCmdWnd::~CCmdWnd()
{
    // Never leave the Line-In muted behind us.
    if (m_mixer && m_owner.currentSettings().mute)
        m_mixer->Unmute();
    m_callTimer.stop();
    m_suppressionTimer.stop();
    m_tracker.deleteReceiver();
    if (m_mixer)
        m_mixer->Close();
}

void CCmdWnd::post(uint32_t code, CmdPayload payload)
{
    // Qt takes the event and delivers it on this object's thread in posting order.
    QCoreApplication::postEvent(this, std::make_unique<CmdEvent>(code, std::move(payload)).release());
}

void CCmdWnd::postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
{
    QCoreApplication::postEvent(this, std::make_unique<CmdEvent>(code, std::move(payload), origin).release());
}

void CCmdWnd::postObserved(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
{
    auto event = std::make_unique<CmdEvent>(code, std::move(payload), origin);
    event->observed = true;
    QCoreApplication::postEvent(this, event.release());
}

bool CCmdWnd::event(QEvent* e)
{
    if (e->type() == CmdEvent::type()) {
        auto* cmd = static_cast<CmdEvent*>(e);
        m_activity.note(cmd->origin.protocol, cmd->code, DecodeActivity::Clock::now(), cmd->origin.time);
        m_handling = cmd->origin;
        if (cmd->observed && m_observer) {
            // The handler takes the payload; the observer sees it as it came.
            OnCmdWndMessage(cmd->code, cmd->payload);
            m_handling = {};
            m_observer(cmd->origin, cmd->code, cmd->payload);
        } else {
            OnCmdWndMessage(cmd->code, std::move(cmd->payload));
            m_handling = {};
        }
        return true;
    }
    return QObject::event(e);
}

void CCmdWnd::OnCmdWndMessage(uint32_t code, CmdPayload payload)
{
    dispatchCommand(*this, code, std::move(payload));
}

void CCmdWnd::setMuted(bool muted)
{
    if (m_mixer)
        m_mixer->SetMuted(muted);
}

void CCmdWnd::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_callTimer.timerId())
        OnTimer(CallTracker::kCallTimer);
    else if (e->timerId() == m_suppressionTimer.timerId())
        OnTimer(CallTracker::kSuppressionTimer);
    else
        QObject::timerEvent(e);
}

void CCmdWnd::OnTimer(int id)
{
    m_tracker.onTimer(id);
}

void CCmdWnd::startTimer(int id, int intervalMs)
{
    if (id == CallTracker::kCallTimer)
        m_callTimer.start(intervalMs, this);
    else if (id == CallTracker::kSuppressionTimer)
        m_suppressionTimer.start(intervalMs, this);
}

void CCmdWnd::stopTimer(int id)
{
    if (id == CallTracker::kCallTimer)
        m_callTimer.stop();
    else if (id == CallTracker::kSuppressionTimer)
        m_suppressionTimer.stop();
}

int CCmdWnd::CreateReceiver(uint32_t type, uint32_t port, uint32_t memory, const std::string& server)
{
    m_tracker.deleteReceiver();
    const bool network = receiverModel(type).network;
    if (network ? server.empty() : port == 0)
        return 1;
    receiver_params_s params;
    params.type = type;
    params.memory = memory;
    params.server = server;
    const std::string place = receiverPlace(params, port);
    char line[512];
    try {
        if (network) {
            // Posted like every other line, so that they keep their order in the log.
            params.notices = &m_receiverNotes;
        } else if (auto device = m_portDevice(port)) {
            params.device = std::move(*device);
        } else {
            // As for a port that cannot be opened: the fixed text, not the reason.
            std::snprintf(line, sizeof line, "ERROR initializing receiver on serial port %u: %s", port,
                          SerialPortError::kText);
            post(CMDWND_ADD_LOGSTR, LogText(line));
            return 0;
        }
        std::unique_ptr<CReceiverCtrl> receiver = makeReceiver(params);
        std::snprintf(line, sizeof line, "Initialized %s on %s.", receiverModel(type).name, place.c_str());
        if (receiver->initialize() == 0) {
            std::snprintf(line, sizeof line, "Initialization of receiver failed!");
            receiver.reset();
        } else if (const std::string why = receiver->failure(); !why.empty()) {
            // A server that is not up yet is kept: every operation tries it again.
            std::snprintf(line, sizeof line,
                          "ERROR initializing receiver on %s: %s; trying again at every receiver operation.",
                          place.c_str(), why.c_str());
        }
        m_tracker.setReceiver(std::move(receiver));
        post(CMDWND_ADD_LOGSTR, LogText(line));
        return 1;
    } catch (const SerialPortError& e) {
        std::snprintf(line, sizeof line, "ERROR initializing receiver on serial port %u: %s", port, e.what());
        // The fixed text, then why the port could not be used, as velkor-scanner says it.
        if (!e.reason().empty()) {
            post(CMDWND_ADD_LOGSTR, LogText(line));
            std::snprintf(line, sizeof line, "Reason: %s", utf8ToCp1252(e.reason()).c_str());
        }
    } catch (const RigctlServerError& e) {
        std::snprintf(line, sizeof line, "ERROR initializing receiver on %s: %s (%s)", place.c_str(), e.what(),
                      e.reason().c_str());
    } catch (...) {
        std::snprintf(line, sizeof line, "ERROR initializing receiver on %s.", place.c_str());
    }
    post(CMDWND_ADD_LOGSTR, LogText(line));
    return 0;
}

} // namespace velkor
