#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QVector>

#include "alarm/alarmrow.h"
#include "journal/journalentry.h"

// What the window's thread hands to the journal's writer: the entries in their order and each
// row's latest alarm under its standing name. Both sides hold the mutex only to append or to take everything.
struct JournalQueue
{
    QMutex mutex;
    QVector<JournalEntry> entries;
    QHash<QString, AlarmRow> standing;
};
