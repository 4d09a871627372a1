#pragma once

#include <QString>
#include <QtGlobal>

// The log line of one row's events that the hold-off held back: at most one line an interval,
// written when the row next starts because of an event, or an interval after the first event
// it held back when none comes, so that a storm gives one line an interval with the exact count.
class HeldBackLine
{
public:
    explicit HeldBackLine(int intervalMs);

    // An event was held back at `nowMs`; true when it is the first of a new count.
    bool count(qint64 nowMs);
    // The row starts because of an event: the line that is due now, or nothing.
    QString atStart(const QString &row, qint64 nowMs);
    // The line whose time has come, or nothing.
    QString whenDue(const QString &row, qint64 nowMs);
    // When the next line is due; 0 when none is.
    qint64 dueMs() const;

private:
    QString take(const QString &row, qint64 nowMs);

    int intervalMs;
    int unlogged = 0;
    qint64 due = 0;
    qint64 lastLineMs = 0;
    bool logged = false;
    // A line came since the row last started: the next one says "more".
    bool sinceStart = false;
};
