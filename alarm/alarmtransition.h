#pragma once

#include <QString>
#include <QtGlobal>

#include "alarm/alarmcause.h"
#include "alarm/alarmstatus.h"

// One change of one row's alarm, with what caused it, who (for an acknowledgement) and when.
struct AlarmTransition
{
    int row = 0;
    QString rowName;
    AlarmStatus before;
    AlarmStatus after;
    AlarmCause cause = AlarmCause::Event;
    // Why a ring was not heard.
    QString reason;
    // Who acknowledged: user@host, and at which peer desk (empty for this desk).
    QString who;
    QString desk;
    // The facts of the event or ring it is about.
    QString sender;
    QString event;
    QString text;
    // Milliseconds since the epoch.
    qint64 atMs = 0;

    // "[ROW] BEFORE -> AFTER: SENDER EVENT (CAUSE)", the cause with its reason or its who.
    QString traceLine() const;
    // "not heard: no sound server", "ack by ann@desk1", "peer by bob@b at Zendri2", "event".
    QString causeText() const;
};
