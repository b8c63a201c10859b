// The main dialog's start-up, ApplySettings and teardown.
#include "app/CVelkorDlg.h"

#include "addrbook/view/CAddrBookCtrl.h"
#include "app/CallsPane.h"
#include "audio/PortAudioSource.h"
#include "bank/DecoderBank.h"
#include "cmdwnd/CCmdWnd.h"

#include <QMessageBox>

namespace velkor {

CVelkorDlg::Parts CVelkorDlg::DefaultParts()
{
    Parts parts;
    parts.commandWindow = [](CmdWndOwner& owner) { return std::make_unique<CCmdWnd>(owner); };
    parts.decoderBank = [](CmdSink* cmdWnd, unsigned sampleRate, const MotorolaPlans& plans) {
        DecoderBank::SourceEvents events;
        // A capture device that fails while running (unplugged, the sound server gone)
        // says so in the log instead of going silent.
        events.ended = [cmdWnd](const velkor::Status& end) {
            cmdWnd->post(CMDWND_ADD_LOGSTR,
                         LogText("ERROR: audio input stopped: " + (end ? std::string("end of input") : end.error())));
        };
        return std::make_unique<DecoderBank>(cmdWnd, sampleRate, std::make_unique<PortAudioSource>(), std::move(events),
                                             velkor::Deemphasis::Auto, plans);
    };
    return parts;
}

CVelkorDlg::CVelkorDlg(Parts parts, velkor::Notices* notices, QWidget* parent)
    : QDialog(parent)
    , m_notices(notices ? *notices : m_ownNotices)
{
    askQuit = [this] {
        return QMessageBox::question(this, QStringLiteral("velkor"), QString::fromLatin1(kQuitQuestion),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    OnCreate();
    buildControls();
    if (!parts.dailyLog)
        parts.dailyLog = openDailyLog();
    if (!parts.recorder)
        parts.recorder = openRecorder();
    if (parts.recorder)
        m_calls->setRecordFolder(QString::fromStdString(parts.recorder->options().dir));
    m_session = std::make_unique<TrackingSession>(*this, m_grid->Book(), std::move(parts));
    m_callWatcher = makeCallWatcher();
    m_session->watchCalls(m_callWatcher.get());
    m_session->watchRecordings([this](const record_result_s& result) {
        if (result.kept)
            m_calls->addRecorded(result.json, result.audio);
    });
}

std::unique_ptr<DailyLog> CVelkorDlg::openDailyLog()
{
    const auto config = VelkorConfig::load();
    if (!config)
        return nullptr; // the session's start-up says what is wrong with the file
    const std::string dir = config->profile().getString(velkor_ini::kLog, velkor_ini::kLogDir);
    if (dir.empty())
        return nullptr;
    try {
        // Its notes come on this thread: they go into the log list.
        return std::make_unique<DailyLog>(dir, m_notices);
    } catch (const DailyLogError& e) {
        // Decoding and tracking go on without the files.
        logList().append(std::string("ERROR: no daily log files: ") + e.what());
        return nullptr;
    }
}

std::unique_ptr<CallRecorder> CVelkorDlg::openRecorder()
{
    const auto config = VelkorConfig::load();
    if (!config)
        return nullptr;
    const velkor_record_settings_s ini = config->recordSettings();
    if (ini.dir.empty())
        return nullptr;
    record_options_s options;
    options.dir = ini.dir;
    options.keepDays = ini.keepDays;
    options.minSeconds = ini.minSeconds;
    const unsigned rate = config->settings().samplerate;
    const auto format = parseRecordFormat(ini.format);
    const velkor::Status usable = format ? checkRecordFormat(*format, rate) : velkor::fail(format.error());
    try {
        if (!usable)
            throw RecordError(usable.error());
        options.format = *format;
        options.queueSamples = static_cast<size_t>(rate) * 30;
        return std::make_unique<CallRecorder>(options, m_notices);
    } catch (const RecordError& e) {
        // Decoding and tracking go on without recordings.
        logList().append(std::string("ERROR: calls are not recorded: ") + e.what());
        return nullptr;
    }
}

CVelkorDlg::~CVelkorDlg()
{
    // The decoder bank first: once it is gone no decoder posts again. Then the command
    // window (Line-In unmuted, receiver and mixer closed), then the widgets. The
    // command window still reads the settings through this dialog while it goes.
    m_session->stop();
    m_session.reset();
    m_logView = ListLogView(nullptr);
}

bool CVelkorDlg::OnInitDialog()
{
    return m_session->start() != TrackingSession::Started::NoCommandWindow;
}

int CVelkorDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

void CVelkorDlg::ApplySettings()
{
    m_session->applySettings();
}

} // namespace velkor
