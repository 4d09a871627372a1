#include "stars/keepalive.h"

#include <QAbstractSocket>
#include <QVariant>
#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include "app/timeunits.h"

namespace {

constexpr int Probes = 3;

} // namespace

bool enableKeepAlive(QAbstractSocket *socket, int timeoutMs)
{
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, QVariant(1));
#ifdef Q_OS_LINUX
    // Idle time plus every probe interval fits in the time-out.
    const int timeout = qMax(1, timeoutMs / MsPerSecond);
    const int interval = qMax(1, timeout / (2 * Probes));
    const int idle = qMax(1, timeout - Probes * interval);
    const int probes = Probes;
    const unsigned userTimeout = unsigned(qMax(MsPerSecond, timeoutMs));
    const int fd = int(socket->socketDescriptor());
    return setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0
        && setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0
        && setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0
        && setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout) == 0;
#else
    return false;
#endif
}
