#pragma once

#include <QString>
#include <QtGlobal>

#include "alarm/alarmcause.h"

// A request to sound one row, with the facts of what it sounds for, so that whoever acts on
// it needs to ask nobody which event that was.
struct Ring
{
    int row = 0;
    QString sender;
    QString event;
    QString text;
    // Milliseconds since the epoch.
    qint64 atMs = 0;
    AlarmCause cause = AlarmCause::Event;

    // Whether the ring programs run for it: for an alarm that starts ringing (because of an
    // event, the sound output back, or a restart), not for a repeat, the end of a quiet spell or
    // the operator's own play.
    bool runsPrograms() const;
};
