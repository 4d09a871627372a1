#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

#include <deque>

#include "alarm/alarmrow.h"
#include "journal/journalentry.h"

// What the window's thread hands to the journal's writer: the entries in their order and each
// row's latest alarm under its standing name. Both sides hold the mutex only to append or to
// take everything.
struct JournalQueue
{
    QMutex mutex;
    // A deque, so that a long queue never moves its entries as it grows.
    std::deque<JournalEntry> entries;
    QHash<QString, AlarmRow> standing;
};
