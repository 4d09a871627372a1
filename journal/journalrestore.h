#pragma once

#include <QString>

class AlarmModel;
struct JournalOpening;

// Hands the alarms that stood when Velmar last stopped back to `alarms`, row by row name, and
// returns the line that says what came back, "Restored 2 unacknowledged alarms and 1 shelf
// from before 14:03:11", naming the rows that the configuration no longer has; empty when
// nothing stood.
QString restoreAlarms(AlarmModel &alarms, const JournalOpening &opening);
