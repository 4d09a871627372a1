#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include "stars/amsg.h"

class Stars;

// Records every message a Stars client hands on, in arrival order, one entry per message:
// "ask CMD ID P1,P2", "ans ..." or "event ...". Also keeps the messages themselves.
class MessageRecorder : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MessageRecorder)

public:
    explicit MessageRecorder(Stars *stars);

    QStringList entries;
    QList<AMsg> messages;

    // Waits until an entry equal to `entry` has been recorded.
    bool waitFor(const QString &entry, int ms = 5000) const;
    // Drops everything recorded so far.
    void clear();

private slots:
    void ask(const AMsg &msg);
    void ans(const AMsg &msg);
    void event(const AMsg &msg);

private:
    void record(const QString &kind, const AMsg &msg);
};
