#include "QuitOnSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ovra {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};
// The handler reaches the pipe only through this: a signal handler can be
// handed nothing else.
int s_pipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = char(signal);
    // A full pipe already holds a request to quit.
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

QuitOnSignals::QuitOnSignals()
{
    if (s_pipe[0] >= 0 || ::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(s_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [] {
        char bytes[16];
        while (::read(s_pipe[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    setHandler(onSignal);
}

QuitOnSignals::~QuitOnSignals()
{
    if (!m_notifier) return;
    setHandler(SIG_DFL);
    m_notifier.reset();
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

} // namespace ovra
