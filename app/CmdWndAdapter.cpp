#include "app/CmdWndAdapter.h"

#if __has_include("cmdwnd/CCmdWnd.h")

#include "cmdwnd/CCmdWnd.h"
#include "dsp/MixerBackend.h"

namespace {

class CmdWndAdapter : public CommandWindow {
public:
    explicit CmdWndAdapter(std::unique_ptr<CCmdWnd> window) : m_window(std::move(window))
    {
        m_window->setObjectName(QStringLiteral("velkor command window"));
    }
    void post(uint32_t code, CmdPayload payload) override { m_window->post(code, std::move(payload)); }
    int CreateReceiver(uint32_t type, uint32_t port, uint32_t memory) override
    {
        return m_window->CreateReceiver(type, port, memory);
    }

private:
    std::unique_ptr<CCmdWnd> m_window;
};

} // namespace

std::unique_ptr<CommandWindow> MakeCommandWindow(CmdWndOwner& owner)
{
    return std::make_unique<CmdWndAdapter>(std::make_unique<CCmdWnd>(owner));
}

std::unique_ptr<CommandWindow> MakeCommandWindow(CmdWndOwner& owner, std::unique_ptr<MixerBackend> mixer)
{
    return std::make_unique<CmdWndAdapter>(std::make_unique<CCmdWnd>(owner, std::move(mixer)));
}

#else

// INTERIM until the command window with call tracking is merged: a command window that
// shows the decoders' lines in the log list and leaves calls, mute and the receiver
// alone.

#include "cmdwnd/CmdDispatch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace {

class CommandEvent : public QEvent {
public:
    static QEvent::Type type()
    {
        static const int t = QEvent::registerEventType();
        return static_cast<QEvent::Type>(t);
    }
    CommandEvent(uint32_t c, CmdPayload p) : QEvent(type()), code(c), payload(std::move(p)) {}
    uint32_t code;
    CmdPayload payload;
};

class LogOnlyCommandWindow : public QObject, public CommandWindow, private CmdHandler {
public:
    explicit LogOnlyCommandWindow(CmdWndOwner& owner) : m_owner(owner) {}

    void post(uint32_t code, CmdPayload payload) override
    {
        QCoreApplication::postEvent(this, new CommandEvent(code, std::move(payload)));
    }
    int CreateReceiver(uint32_t, uint32_t, uint32_t) override { return 1; }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != CommandEvent::type())
            return QObject::event(e);
        auto* c = static_cast<CommandEvent*>(e);
        dispatchCommand(*this, c->code, std::move(c->payload));
        return true;
    }

private:
    LogListView& logList() override { return m_owner.logList(); }
    bool muteEnabled() const override { return false; }
    void setMuted(bool) override {}
    void reportCall(const velkor_call_s&) override {}
    void clearCall(const velkor_call_s&) override {}
    void endCall() override {}
    void reportSystem(const velkor_address_s& a) override
    {
        if (m_owner.currentSettings().auto_add)
            m_owner.AddAddr(a);
    }

    CmdWndOwner& m_owner;
};

} // namespace

std::unique_ptr<CommandWindow> MakeCommandWindow(CmdWndOwner& owner)
{
    return std::make_unique<LogOnlyCommandWindow>(owner);
}

#endif
