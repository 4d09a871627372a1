#pragma once

#include <QString>
#include <QStringList>

class AlarmModel;
struct JournalOpening;

// The name under which each row's standing alarm is kept: the row's name (its events), and for
// a later row of the same name, as two rows for the same event from different senders have,
// that name with its place among them, "Alarm #2".
QStringList standingNames(const AlarmModel &alarms);

// Hands the alarms that stood when Velmar last stopped back to `alarms`, by standing name, and
// returns the line that says what came back, "Restored 2 unacknowledged alarms and 1 shelf
// from before 14:03:11", naming the rows that the configuration no longer has; empty when
// nothing stood.
QString restoreAlarms(AlarmModel &alarms, const JournalOpening &opening);
