#include "app/DialogNotices.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <utility>

namespace velkor {

DialogNotices::DialogNotices(QObject* context, AppendLine appendLine)
    : m_context(context)
    , m_appendLine(std::move(appendLine))
{
}

void DialogNotices::alert(const std::string& text)
{
    const QString message = QString::fromStdString(text);
    auto show = [message] { QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("velkor"), message); };
    if (QThread::currentThread() == qApp->thread())
        show();
    else
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
}

void DialogNotices::note(const std::string& line)
{
    QObject* context = m_context;
    if (!context)
        return;
    // On the list's own thread the line goes in at once, in order with what that
    // thread appends itself.
    if (QThread::currentThread() == context->thread()) {
        m_appendLine(line);
        return;
    }
    AppendLine append = m_appendLine;
    QMetaObject::invokeMethod(
        context, [append, line] { append(line); }, Qt::QueuedConnection);
}

} // namespace velkor
