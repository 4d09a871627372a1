#pragma once

#include <QAbstractSocket>
#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "stars/linkstate.h"
#include "stars/linktiming.h"

class Stars;

// Keeps the Stars link up without the user's help. When the link ends without the user
// asking for it, it tries again with a doubling delay until the client is logged in; it
// bounds the time a connection attempt and a log-in may take, has the system probe a silent
// peer, logs what happened, and says when the link-loss alarm should ring.
class LinkSupervisor : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LinkSupervisor)

public:
    LinkSupervisor(Stars *stars, const LinkTiming &timing, QObject *parent = nullptr);

signals:
    void log(const QString &msg, const QColor &c);
    // True when the link ended without the user asking; false at the next log-in or when the
    // user clicks Connect or Disconnect.
    void alarmChanged(bool ringing);

private:
    void connectionRequested(bool open);
    void linkStateChanged(LinkState state);
    void linkFailed(QAbstractSocket::SocketError error, const QString &text);
    void loggedIn();
    void loginRefused(const QString &reply);
    void attemptTimedOut();
    void retry();

    void linkEnded();
    void scheduleRetry();
    void setRinging(bool ringing);
    void reportOnce(const QString &what);

    Stars *stars;
    const LinkTiming timing;
    QTimer retryTimer;
    // Bounds the connection attempt, then the log-in.
    QTimer attemptTimer;
    // Runs from the first unasked end of the link until the next log-in.
    QElapsedTimer downClock;
    int nextDelayMs;
    // A connection was asked for and has not been closed on purpose since.
    bool wanted = false;
    // The connection request on its way is this supervisor's own.
    bool retrying = false;
    bool ringing = false;
    // The connection of the current attempt opened; its error comes after it has gone down.
    bool opened = false;
    // One red line per connection: the first cause is the one that counts.
    bool causeReported = false;
};
