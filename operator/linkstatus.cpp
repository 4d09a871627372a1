#include "operator/linkstatus.h"

#include <QTcpSocket>

#include "stars/connectstat.h"
#include "stars/stars.h"

LinkStatus::LinkStatus(Stars *stars, QObject *parent)
    : QObject(parent)
    , stars(stars)
    , since(QDateTime::currentDateTime())
{
    connect(stars->connection(), &QAbstractSocket::stateChanged, this, &LinkStatus::update);
    connect(stars, &Stars::starsIsReady, this, &LinkStatus::update);
    connect(stars, &Stars::starsIsNotReady, this, &LinkStatus::update);
    update();
}

LinkStatus::State LinkStatus::state() const
{
    return current;
}

QDateTime LinkStatus::downSince() const
{
    return since;
}

void LinkStatus::update()
{
    State next = Down;
    if (stars->connectionState() == ConnectStat::Connected)
        next = LoggedIn;
    else if (stars->connection()->state() != QAbstractSocket::UnconnectedState)
        next = Connecting;
    if (next == current)
        return;
    if (next == Down)
        since = QDateTime::currentDateTime();
    current = next;
    emit changed();
}
