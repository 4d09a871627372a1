#include "alarm/heldbackline.h"

HeldBackLine::HeldBackLine(int intervalMs)
    : intervalMs(intervalMs)
{
}

bool HeldBackLine::count(qint64 nowMs)
{
    if (unlogged++ > 0)
        return false;
    due = nowMs + intervalMs;
    return true;
}

// What was held back before a line less than an interval ago waits for the next line, which
// then counts it as more.
QString HeldBackLine::atStart(const QString &row, qint64 nowMs)
{
    QString line;
    if (unlogged > 0 && (!logged || nowMs - lastLineMs >= intervalMs))
        line = take(row, nowMs);
    sinceStart = unlogged > 0;
    return line;
}

QString HeldBackLine::whenDue(const QString &row, qint64 nowMs)
{
    return due > 0 && due <= nowMs ? take(row, nowMs) : QString();
}

qint64 HeldBackLine::dueMs() const
{
    return due;
}

QString HeldBackLine::take(const QString &row, qint64 nowMs)
{
    const QString events = unlogged == 1 ? QStringLiteral("event") : QStringLiteral("events");
    const QString line = sinceStart ? QStringLiteral("[%1] held back %2 more %3").arg(row).arg(unlogged).arg(events)
                                    : QStringLiteral("[%1] held back %2 %3 since it last started").arg(row).arg(unlogged).arg(events);
    unlogged = 0;
    due = 0;
    lastLineMs = nowMs;
    logged = true;
    sinceStart = true;
    return line;
}
