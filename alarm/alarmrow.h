#pragma once

#include <QString>
#include <QtGlobal>

#include "alarm/alarmstatus.h"

// Everything the operator is shown about one sound row's alarm. Times are milliseconds since
// the epoch.
struct AlarmRow
{
    // The row's events, "Done Finished".
    QString name;
    // Rings through Mute and Snooze and cannot be shelved.
    bool critical = false;
    AlarmState state = AlarmState::Normal;
    // The last ring could not be heard, for this reason; only an acknowledgement, a click or a
    // ring that is heard ends it.
    bool notHeard = false;
    QString notHeardReason;
    // Events held back by the hold-off since the row was last started by an event.
    int heldBack = 0;
    // Events that came while the horn was muted or snoozed, since the row last rang.
    int quietEvents = 0;
    // Events since the row left the normal state, the first and the last of them.
    int count = 0;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
    // When the alarm began to wait for its acknowledgement.
    qint64 unacknowledgedSinceMs = 0;
    // The last event's or ring's facts.
    QString sender;
    QString event;
    QString text;
    // While shelved: since when, and until when (0: until unshelved).
    qint64 shelvedSinceMs = 0;
    qint64 shelfEndMs = 0;

    AlarmStatus status() const { return {state, notHeard}; }
    bool unacknowledged() const { return state == AlarmState::Ringing || state == AlarmState::Unacknowledged; }
};
