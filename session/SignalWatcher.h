// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C in a terminal, a kill, the session ending)
// into a Qt signal on the GUI thread. The handler only writes the signal's number into
// a pipe, the one thing a signal handler may safely do; a socket notifier reads it in
// the event loop, where the program can save and shut down in order.
#pragma once

#include <QObject>

#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace velkor {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one watcher may exist at a time. The previous
    // handlers come back when it is destroyed.
    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<int> m_signals;
};

} // namespace velkor
