#include "app/quitonsignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

constexpr int Signals[] = { SIGTERM, SIGINT };

// The handler's end and the event loop's end of the pair; a handler may only write.
int wakePair[2] = { -1, -1 };
volatile std::sig_atomic_t quitting = 0;

void setAction(void (*action)(int))
{
    struct sigaction sa = {};
    sa.sa_handler = action;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        sigaction(signal, &sa, nullptr);
}

} // namespace

QuitOnSignal::QuitOnSignal(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakePair) != 0) {
        qWarning("Cannot watch for SIGTERM and SIGINT: %s", std::strerror(errno));
        return;
    }
    // A full pair must never block the handler; one byte is all the loop needs.
    ::fcntl(wakePair[0], F_SETFL, ::fcntl(wakePair[0], F_GETFL) | O_NONBLOCK);
    notifier = new QSocketNotifier(wakePair[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignal::quit);
    setAction(&QuitOnSignal::handle);
}

QuitOnSignal::~QuitOnSignal()
{
    if (!notifier)
        return;
    setAction(SIG_DFL);
    ::close(wakePair[0]);
    ::close(wakePair[1]);
    wakePair[0] = wakePair[1] = -1;
}

void QuitOnSignal::handle(int signal)
{
    if (quitting) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    quitting = 1;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakePair[0], &byte, 1);
    errno = saved;
}

void QuitOnSignal::quit()
{
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(wakePair[1], &byte, 1);
    notifier->setEnabled(false);
    QCoreApplication::quit();
}
