#include "app/CVelkorApp.h"

#include "app/CVelkorDlg.h"
#include "session/SignalWatcher.h"
#include "notify/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <csignal>

namespace {

void showOnGuiThread(const std::string& text)
{
    const QString message = QString::fromStdString(text);
    auto show = [message] { QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("velkor"), message); };
    // A message from another thread is shown by the GUI thread; widgets live there.
    if (QThread::currentThread() == qApp->thread())
        show();
    else
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
}

} // namespace

bool CVelkorApp::InitInstance()
{
    QApplication::setDesktopFileName(QStringLiteral("velkor"));
    setMessageBoxFunction(showOnGuiThread);

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
