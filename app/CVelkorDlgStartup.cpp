// The main dialog's start-up, ApplySettings and teardown.
#include "app/CVelkorDlg.h"

#include "addrbook/AddrText.h"
#include "addrbook/CAddrBookCtrl.h"
#include "cmdwnd/CCmdWnd.h"
#include "cmdwnd/MessageBox.h"
#include "dsp/DecoderBank.h"
#include "dsp/PortAudioSource.h"
#include "profile/VelkorConfig.h"

#include <QListWidget>
#include <QMessageBox>

CVelkorDlg::Parts CVelkorDlg::DefaultParts()
{
    Parts parts;
    parts.commandWindow = [](CmdWndOwner& owner) { return std::make_unique<CCmdWnd>(owner); };
    parts.decoderBank = [](CmdSink* cmdWnd, unsigned sampleRate) {
        DecoderBank::SourceEvents events;
        // A capture device that fails while running (unplugged, the sound server gone)
        // says so in the log instead of going silent.
        events.ended = [cmdWnd](const std::string& error) {
            cmdWnd->post(CMDWND_ADD_LOGSTR, LogText("ERROR: audio input stopped: " + (error.empty() ? std::string("end of input") : error)));
        };
        return std::make_unique<DecoderBank>(cmdWnd, sampleRate, std::make_unique<PortAudioSource>(), std::move(events));
    };
    return parts;
}

CVelkorDlg::CVelkorDlg(Parts parts, QWidget* parent) : QDialog(parent), m_parts(std::move(parts))
{
    askQuit = [this] {
        return QMessageBox::question(this, QStringLiteral("velkor"), QString::fromLatin1(kQuitQuestion),
                                     QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes;
    };
    OnCreate();
    buildControls();
}

CVelkorDlg::~CVelkorDlg()
{
    // The decoder bank first: once it is gone no decoder posts again. Then the command
    // window (Line-In unmuted, receiver and mixer closed), then the widgets.
    m_bank.reset();
    m_cmdWnd.reset();
    m_logView = QListLogView(nullptr);
}

bool CVelkorDlg::OnInitDialog()
{
    m_grid->LoadData("addrbook.ini");

    // A command window that cannot be built (its mixer raising an error) is handled
    // like one whose window cannot be created.
    try {
        m_cmdWnd = m_parts.commandWindow(*this);
        if (m_cmdWnd)
            m_cmdWnd->setObjectName(QStringLiteral("velkor command window"));
    } catch (const std::exception&) {
        m_cmdWnd.reset();
    }
    if (!m_cmdWnd) {
        showMessageBox("Error creating command window!");
        return false;
    }

    ApplySettings();
    AppendLogLine("Initialized and running.");
    return true;
}

int CVelkorDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

void CVelkorDlg::ApplySettings()
{
    // Without a command window (its creation failed at start-up) there is nothing to
    // decode into and no receiver to drive.
    if (!m_cmdWnd)
        return;
    VelkorConfig config {ProfileFile()};
    try {
        config = VelkorConfig::load();
    } catch (const ProfileError& e) {
        // Nothing is changed on a file that cannot be read: what runs keeps running.
        AppendLogLine((std::string("ERROR reading velkor.ini: ") + e.what()).c_str());
        return;
    }
    const velkor_settings_s s = config.settings();

    if (s.samplerate != m_settings.samplerate) {
        // Remembered even when the bank fails, so that it is tried again only when the
        // configured rate changes.
        m_settings.samplerate = s.samplerate;
        if (m_bank) {
            m_bank.reset();
            AppendLogLine("Restarting decoder thread.");
        } else {
            AppendLogLine("Starting decoder thread.");
        }
        try {
            m_bank = m_parts.decoderBank(m_cmdWnd.get(), s.samplerate);
        } catch (const std::exception& e) {
            m_bank.reset();
            AppendLogLine("ERROR: Couldn't start collecting data, usupported samplerate?");
            AppendLogLine(("Reason: " + utf8ToCp1252(e.what())).c_str());
        }
    }

    m_settings.mute = s.mute;

    if (!m_receiverType || *m_receiverType != s.receiver_type || m_settings.comport != s.comport
        || m_settings.memory != s.memory) {
        m_receiverType = s.receiver_type;
        m_settings.receiver_type = s.receiver_type;
        m_settings.comport = s.comport;
        m_settings.memory = s.memory;
        m_cmdWnd->CreateReceiver(s.receiver_type, s.comport, s.memory);
    }

    m_settings.follow_calls = s.follow_calls;
    m_settings.scan_on_clear = s.scan_on_clear;
    m_settings.auto_add = s.auto_add;
    m_settings.backlight = s.backlight;
    m_settings.return_to_cc = s.return_to_cc;
}
