#pragma once

#include <QString>
#include <QtGlobal>

// One line of the alarm journal: what happened, when, to which row, and who did it. Alarm
// entries also carry the times that a report of the alarm needs.
struct JournalEntry
{
    enum class Kind { Event, Alarm, Operator, Link, Sound, Start, Stop };

    // Milliseconds since the epoch.
    qint64 atMs = 0;
    Kind kind = Kind::Event;
    // The row's events, "Done Finished"; for an event every row it matched, joined by ", ".
    QString row;
    QString sender;
    QString event;
    // An event's text; for an alarm the cause as the alarm trace writes it; for an operator's
    // action the action; for the link its address; for the sound the output or why it is lost.
    QString text;
    // An alarm's state after the change as the trace writes it; "down" or "logged in" for the
    // link, "lost" or "back" for the sound.
    QString state;
    // An alarm's cause as a word ("ack", "shelve"), for reports.
    QString cause;
    // user@host of the operator who acted, here or at a peer desk, and that desk's node name.
    QString operatorName;
    QString desk;
    // An alarm's wait for its acknowledgement began then, and its shelf ends then (0: until
    // unshelved); milliseconds since the epoch.
    qint64 sinceMs = 0;
    qint64 untilMs = 0;

    // "event", "alarm", "operator", "link", "sound", "start" or "stop".
    static QString kindWord(Kind kind);
};
