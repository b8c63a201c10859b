// What the dialog program tells its user: an alert is a message box, a note a line of
// the main dialog's log list. Either may come from any thread; both are shown by the
// GUI thread, where the widgets live.
#pragma once

#include "notify/Notices.h"

#include <QObject>

#include <functional>
#include <string>

namespace velkor {

class DialogNotices final : public Notices {
public:
    using AppendLine = std::function<void(const std::string& line)>;

    // appendLine runs on the thread of context, and not after context is gone; the
    // notices must not outlive context. Without a context notes go nowhere.
    DialogNotices(QObject* context, AppendLine appendLine);

    void alert(const std::string& text) override;
    void note(const std::string& line) override;

private:
    QObject* m_context;
    AppendLine m_appendLine;
};

} // namespace velkor
