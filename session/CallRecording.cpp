#include "session/CallRecording.h"

#include "cmdwnd/CCmdWnd.h"

#include <QMetaObject>

namespace velkor {

namespace {
CallEnd endOf(CallLeft how)
{
    switch (how) {
    case CallLeft::Squelch:
        return CallEnd::Squelch;
    case CallLeft::EndCall:
        return CallEnd::EndCall;
    case CallLeft::Takeover:
        return CallEnd::Takeover;
    case CallLeft::Cleardown:
        break;
    }
    return CallEnd::Cleardown;
}
} // namespace

CallRecording::CallRecording(CmdWndOwner& owner, CCmdWnd& cmdWnd, std::unique_ptr<CallRecorder> recorder)
    : m_owner(owner)
    , m_cmdWnd(cmdWnd)
    , m_recorder(std::move(recorder))
{
    // The writer thread's outcomes wait in a list until the window's thread takes them.
    m_recorder->setFinished([this](const record_result_s& result) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_results.push_back(result);
        }
        QMetaObject::invokeMethod(
            this, [this] { deliver(); }, Qt::QueuedConnection);
    });
    m_cmdWnd.tracker().setObserver(this);
}

CallRecording::~CallRecording()
{
    m_cmdWnd.tracker().setObserver(nullptr);
    m_recorder->close();
}

void CallRecording::attach(DecoderBank& bank)
{
    m_sampleRate = bank.sampleRate();
    bank.SetTap(this);
}

void CallRecording::captured(const int16_t* samples, unsigned count, CaptureTime)
{
    m_recorder->feed(samples, count);
}

void CallRecording::callFollowed(const velkor_call_s& call, double mhz)
{
    record_call_s c;
    c.protocol = m_cmdWnd.handlingOrigin().protocol;
    const auto party = [this](const velkor_address_s& a) {
        return record_party_s{a, a.unit ? m_owner.GetAddrName(a.system, a.fleet, a.unit) : std::string()};
    };
    c.target = party(call.target);
    c.origin = party(call.origin);
    c.systemName = m_owner.GetAddrName(call.target.system, 0, 0);
    c.channel = call.channel;
    c.freqHz = mhz * 1e6;
    c.sampleRate = m_sampleRate;
    m_recorder->begin(c);
}

void CallRecording::callLeft(const velkor_call_s&, CallLeft how)
{
    m_recorder->end(endOf(how));
}

void CallRecording::finish()
{
    m_recorder->close();
    deliver();
}

void CallRecording::deliver()
{
    std::vector<record_result_s> results;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        results.swap(m_results);
    }
    for (const record_result_s& r : results) {
        if (m_finished)
            m_finished(r);
        if (m_watcher)
            m_watcher(r);
    }
}

} // namespace velkor
