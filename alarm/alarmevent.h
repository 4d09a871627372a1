#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// One received event as the alarm model takes it: who sent it, its word and text, when it came,
// and the sound rows that it matched (none, one or several).
struct AlarmEvent
{
    QString sender;
    QString event;
    // The event's parameters, joined by single blanks.
    QString text;
    // Milliseconds since the epoch.
    qint64 atMs = 0;
    QVector<int> rows;
};
