#include "stars/linksupervisor.h"

#include <QLoggingCategory>

#include "app/durationtext.h"
#include "app/timeunits.h"
#include "log/logcolours.h"
#include "stars/stars.h"

Q_LOGGING_CATEGORY(lcLink, "velmar.link")

namespace {

QString seconds(int ms)
{
    return QString::number(ms / double(MsPerSecond));
}

} // namespace

LinkSupervisor::LinkSupervisor(Stars *stars, const LinkTiming &timing, QObject *parent)
    : QObject(parent)
    , stars(stars)
    , timing(timing)
    , nextDelayMs(timing.reconnectMs)
{
    retryTimer.setSingleShot(true);
    attemptTimer.setSingleShot(true);
    attemptTimer.setTimerType(Qt::PreciseTimer);
    attemptTimer.setInterval(timing.timeoutMs);
    connect(&retryTimer, &QTimer::timeout, this, &LinkSupervisor::retry);
    connect(&attemptTimer, &QTimer::timeout, this, &LinkSupervisor::attemptTimedOut);
    connect(stars, &Stars::connectionRequested, this, &LinkSupervisor::connectionRequested);
    connect(stars, &Stars::starsIsReady, this, &LinkSupervisor::loggedIn);
    connect(stars, &Stars::loginRefused, this, &LinkSupervisor::loginRefused);
    connect(stars, &Stars::linkStateChanged, this, &LinkSupervisor::linkStateChanged);
    connect(stars, &Stars::linkError, this, &LinkSupervisor::linkFailed);
}

// A request of the user's (not a retry of ours) stops the alarm and starts afresh: a Connect
// wants the link with the first delay again, a Disconnect wants it closed and no retries.
void LinkSupervisor::connectionRequested(bool open)
{
    if (retrying)
        return;
    retryTimer.stop();
    setRinging(false);
    wanted = open;
    nextDelayMs = timing.reconnectMs;
}

void LinkSupervisor::linkStateChanged(LinkState next)
{
    switch (next) {
    case LinkState::Connecting:
        causeReported = false;
        opened = false;
        if (timing.timeoutMs > 0)
            attemptTimer.start();
        break;
    case LinkState::LoggingIn:
        opened = true;
        if (timing.timeoutMs <= 0)
            break;
        if (!stars->enableKeepAlive(timing.timeoutMs))
            qCDebug(lcLink) << "cannot time the keep-alive probes; a dead link may be noticed late";
        attemptTimer.start();
        break;
    case LinkState::Down:
        attemptTimer.stop();
        // A failed attempt reports its error only after this change: let the cause come first.
        QMetaObject::invokeMethod(this, &LinkSupervisor::linkEnded, Qt::QueuedConnection);
        break;
    case LinkState::LoggedIn:
        break;
    }
}

void LinkSupervisor::linkFailed(QAbstractSocket::SocketError error, const QString &text)
{
    if (!wanted)
        return;
    const QString address = stars->address();
    if (!opened)
        reportOnce(QStringLiteral("Can't connect to Stars at %1: %2").arg(address, text));
    else if (error == QAbstractSocket::SocketTimeoutError)
        reportOnce(QStringLiteral("The Stars link to %1 is dead: no answer within %2 s")
                       .arg(address, seconds(timing.timeoutMs)));
    else
        reportOnce(QStringLiteral("Lost the Stars link to %1: %2").arg(address, text));
}

void LinkSupervisor::loggedIn()
{
    attemptTimer.stop();
    wanted = true;
    nextDelayMs = timing.reconnectMs;
    setRinging(false);
    if (!downClock.isValid())
        return;
    emit log(QStringLiteral("Stars link was down %1").arg(durationText(downClock.elapsed())),
             LogColours::Recovery);
    downClock.invalidate();
}

void LinkSupervisor::loginRefused(const QString &reply)
{
    reportOnce(QStringLiteral("Log-in refused by Stars at %1: %2").arg(stars->address(), reply));
}

// The socket is aborted so that the ordinary end of a connection follows.
void LinkSupervisor::attemptTimedOut()
{
    const QString missing = stars->linkState() == LinkState::LoggingIn ? QStringLiteral("No log-in at")
                                                                       : QStringLiteral("No connection to");
    reportOnce(QStringLiteral("%1 Stars at %2 within %3 s").arg(missing, stars->address(), seconds(timing.timeoutMs)));
    stars->abortConnection();
}

// A retry never cuts into a connection that is open or on its way.
void LinkSupervisor::retry()
{
    if (stars->linkState() != LinkState::Down)
        return;
    retrying = true;
    stars->connectToStars();
    retrying = false;
}

void LinkSupervisor::linkEnded()
{
    if (!wanted)
        return;
    if (!downClock.isValid())
        downClock.start();
    setRinging(true);
    scheduleRetry();
}

void LinkSupervisor::scheduleRetry()
{
    if (timing.reconnectMs <= 0)
        return;
    emit log(QStringLiteral("Trying Stars at %1 again in %2 s").arg(stars->address(), seconds(nextDelayMs)),
             LogColours::Notice);
    retryTimer.start(nextDelayMs);
    nextDelayMs = qMin(2 * nextDelayMs, timing.maxReconnectMs);
}

void LinkSupervisor::setRinging(bool on)
{
    if (ringing == on)
        return;
    ringing = on;
    emit alarmChanged(on);
}

void LinkSupervisor::reportOnce(const QString &what)
{
    if (causeReported)
        return;
    causeReported = true;
    emit log(what, LogColours::Failure);
}
