#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// Writes a journal file of `entries` entries spread evenly over the last `days` days: nine
// event entries to one alarm entry, over 20 rows; false on failure.
bool writeLargeJournal(const QString &file, int entries, int days);
// Runs `statement` with `values` bound on the journal `file`, on a connection of its own, and
// returns the first value of its first row (invalid when there is none).
QVariant journalValue(const QString &file, const QString &statement, const QVariantList &values = {});
// The event entries in the journal `file` (-1 when it cannot be read).
int journalEvents(const QString &file);
// Milliseconds from showing the history window on `file` until it is up with its first rows,
// for the range at `range` in its box (0 the last hour, 3 the last week) and a filter text.
double historyOpenMs(const QString &file, int range, const QString &filter);

// One kill -9 of the velmar process at a random moment of a storm of events that match a row,
// with its journal in `journal`: whether the file then passes SQLite's integrity check, how
// many events its debug output shows more than 100 ms before the kill, and how many of those
// the journal's history lacks.
struct CrashRun
{
    bool intact = false;
    int shownBefore = -1;
    int missing = -1;
};
CrashRun crashRun(const QString &velmarPath, const QString &journal, int events, QString &error);
