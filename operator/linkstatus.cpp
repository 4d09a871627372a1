#include "operator/linkstatus.h"

#include "stars/stars.h"

LinkStatus::LinkStatus(Stars *stars, QObject *parent)
    : QObject(parent)
    , current(stars->linkState())
    , since(QDateTime::currentDateTime())
{
    connect(stars, &Stars::linkStateChanged, this, &LinkStatus::update);
}

LinkState LinkStatus::state() const
{
    return current;
}

QDateTime LinkStatus::downSince() const
{
    return since;
}

void LinkStatus::update(LinkState next)
{
    if (next == LinkState::Down)
        since = QDateTime::currentDateTime();
    current = next;
    emit changed();
}
