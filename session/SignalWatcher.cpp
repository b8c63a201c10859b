#include "session/SignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace velkor {

namespace {

// Written by the handler, read by the notifier. Both ends are non-blocking: a burst of
// signals that fills the pipe loses only the repeats, and the reader never waits.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[NSIG];

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent)
    , m_signals(signalNumbers)
{
    if (g_pipe[0] >= 0)
        throw std::logic_error("only one SignalWatcher at a time");
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the signal pipe");
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
    for (int s : m_signals) {
        struct sigaction action { };
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(s, &action, &g_previous[s]);
    }
}

SignalWatcher::~SignalWatcher()
{
    for (int s : m_signals)
        ::sigaction(s, &g_previous[s], nullptr);
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SignalWatcher::readPipe()
{
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
}

} // namespace velkor
