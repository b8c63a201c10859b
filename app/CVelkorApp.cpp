#include "app/CVelkorApp.h"

#include "app/CVelkorDlg.h"
#include "session/SignalWatcher.h"
#include "notify/MessageBox.h"

#include <QApplication>

#include <csignal>

bool CVelkorApp::InitInstance()
{
    QApplication::setDesktopFileName(QStringLiteral("velkor"));

    // The address book still shows its messages through the global function: message
    // boxes like the dialog's own alerts, until the dialog is gone.
    velkor::DialogNotices bookNotices(nullptr, {});
    setMessageBoxFunction([&bookNotices](const std::string& text) { bookNotices.alert(text); });
    {
        CVelkorDlg dlg;
        dlg.setEchoLog(echoLog);
        SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP});
        QObject::connect(&watcher, &SignalWatcher::received, &dlg, &CVelkorDlg::OnTerminate);
        dlg.DoModal();
    }
    setMessageBoxFunction({});
    return false;
}
