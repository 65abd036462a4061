#include "quitsignals.h"

#include <QDebug>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0] written by the handler, [1] read by the notifier.
int g_signalPipe[2] = {-1, -1};
const int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kQuitSignals)
        sigaction(signalNumber, &action, nullptr);
}

extern "C" void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    // The next one is not caught: a stuck save must not make the process
    // unkillable.
    signal(signalNumber, SIG_DFL);
    const char byte = char(signalNumber);
    const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
    (void)written;
    errno = savedErrno;
}

} // namespace
#endif

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (g_signalPipe[0] != -1) {
        qWarning("QuitSignals: already installed");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        qWarning("QuitSignals: socketpair failed: %s", strerror(errno));
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    // A full buffer must never block the handler.
    ::fcntl(g_signalPipe[0], F_SETFL, ::fcntl(g_signalPipe[0], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignal);
    setHandler(onQuitSignal);
#endif
}

QuitSignals::~QuitSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    setHandler(SIG_DFL);
    delete m_notifier;
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
#endif
}

void QuitSignals::readSignal()
{
#ifdef Q_OS_UNIX
    char byte = 0;
    if (::read(g_signalPipe[1], &byte, 1) == 1)
        Q_EMIT quitRequested(int(byte));
#endif
}
