#pragma once

#include <QDateTime>
#include <QObject>

#include "stars/linkstate.h"

class Stars;

// The client's link state as the operator sees it, with the moment the link went down.
class LinkStatus : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LinkStatus)

public:
    LinkStatus(Stars *stars, QObject *parent);

    LinkState state() const;
    // When the link went down; the start of the program when it has never been up.
    QDateTime downSince() const;

signals:
    void changed();

private:
    void update(LinkState next);

    LinkState current;
    QDateTime since;
};
