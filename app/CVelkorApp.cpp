#include "app/CVelkorApp.h"

#include "app/CVelkorDlg.h"
#include "session/SignalWatcher.h"

#include <QApplication>

#include <csignal>

namespace velkor {

bool CVelkorApp::InitInstance()
{
    QApplication::setDesktopFileName(QStringLiteral("velkor"));
    CVelkorDlg dlg;
    dlg.setEchoLog(echoLog);
    SignalWatcher watcher({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&watcher, &SignalWatcher::received, &dlg, &CVelkorDlg::OnTerminate);
    dlg.DoModal();
    return false;
}

} // namespace velkor
