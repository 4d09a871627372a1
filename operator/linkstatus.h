#pragma once

#include <QDateTime>
#include <QObject>

class Stars;

// The link as the operator sees it: logged in, on its way, or down since a moment.
class LinkStatus : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LinkStatus)

public:
    enum State { Down, Connecting, LoggedIn };

    LinkStatus(Stars *stars, QObject *parent);

    State state() const;
    // When the link went down; the start of the program when it has never been up.
    QDateTime downSince() const;

signals:
    void changed();

private:
    void update();

    Stars *stars;
    State current = Down;
    QDateTime since;
};
