#include "operator/horn.h"

#include <QElapsedTimer>

#include "app/durationtext.h"
#include "app/timeunits.h"
#include "log/logcolours.h"

namespace {

qint64 steadyMs()
{
    static QElapsedTimer since;
    if (!since.isValid())
        since.start();
    return since.elapsed();
}

QString quietLine(Horn::Quiet previous, Horn::Quiet next, int ms)
{
    switch (next) {
    case Horn::Quiet::Muted:
        return QStringLiteral("Horn muted");
    case Horn::Quiet::Snoozed:
        return QStringLiteral("Horn snoozed for %1 min").arg(QString::number(ms / double(MsPerMinute)));
    case Horn::Quiet::Off:
        break;
    }
    return previous == Horn::Quiet::Snoozed ? QStringLiteral("Snooze ended") : QStringLiteral("Horn unmuted");
}

} // namespace

Horn::Horn(const QStringList &rowNames, const HornSettings &settings, QObject *parent, Clock clock)
    : QObject(parent)
    , settings(settings)
    , clock(clock ? clock : Clock(steadyMs))
{
    for (const QString &name : rowNames)
        rows.append(Row {name});
    snoozeTimer.setSingleShot(true);
    snoozeTimer.setTimerType(Qt::PreciseTimer);
    connect(&snoozeTimer, &QTimer::timeout, this, [this] { setQuiet(Quiet::Off); });
}

Horn::Quiet Horn::quiet() const
{
    return state;
}

int Horn::snoozeMs() const
{
    return state == Quiet::Snoozed ? snoozeTimer.interval() : 0;
}

int Horn::snoozeRemainingMs() const
{
    return state == Quiet::Snoozed ? qMax(0, snoozeTimer.remainingTime()) : 0;
}

Horn::Counters Horn::counters() const
{
    return count;
}

void Horn::eventReceived()
{
    ++count.received;
    eventMatched = false;
    eventHeld = false;
    emit countersChanged();
}

// While quiet every matching event is logged and counted, and rings nothing; a row that
// started a moment ago counts the event instead of starting again.
void Horn::rowMatched(int row, const QString &sender, const QString &event)
{
    if (!validRow(row))
        return;
    if (!eventMatched) {
        eventMatched = true;
        ++count.matched;
        emit countersChanged();
    }
    if (state != Quiet::Off) {
        if (!eventHeld) {
            eventHeld = true;
            ++count.heldBack;
            emit countersChanged();
        }
        emit log(QStringLiteral("%1: %2 %3 for [%4]")
                     .arg(state == Quiet::Muted ? QStringLiteral("Muted") : QStringLiteral("Snoozed"),
                          sender, event, rows.at(row).name),
                 LogColours::Quiet);
        return;
    }
    Row &r = rows[row];
    if (inHoldoff(r)) {
        emit heldBackChanged(row, ++r.heldBack);
        return;
    }
    if (settings.repeatUntilAck && !r.waiting) {
        r.waiting = true;
        r.firstRingMs = clock();
        emit waitingForAck(row, true);
    }
    emit rang(row);
    start(row);
}

void Horn::rowEnded(int row)
{
    if (validRow(row) && rows.at(row).waiting && state == Quiet::Off)
        start(row);
}

// A button click is the operator's own: it plays once and waits for no acknowledgement.
void Horn::buttonClicked(int row)
{
    if (!validRow(row))
        return;
    if (rows.at(row).waiting) {
        acknowledge(row);
        return;
    }
    if (state != Quiet::Off) {
        emit log(QStringLiteral("Muted: [%1] not played").arg(rows.at(row).name), LogColours::Quiet);
        return;
    }
    start(row);
}

void Horn::silence()
{
    stopAll();
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).waiting)
            acknowledge(row);
    }
    emit silenced();
    emit log(QStringLiteral("Horn silenced"), LogColours::Notice);
}

void Horn::toggleMute()
{
    setQuiet(state == Quiet::Off ? Quiet::Muted : Quiet::Off);
}

void Horn::toggleSnooze(int ms)
{
    if (state == Quiet::Snoozed && snoozeTimer.interval() == ms)
        setQuiet(Quiet::Off);
    else
        setQuiet(Quiet::Snoozed, ms);
}

void Horn::start(int row)
{
    Row &r = rows[row];
    if (r.heldBack > 0) {
        const QString events = r.heldBack == 1 ? QStringLiteral("event") : QStringLiteral("events");
        emit log(QStringLiteral("[%1] held back %2 %3 since it last started").arg(r.name).arg(r.heldBack).arg(events),
                 LogColours::Notice);
        r.heldBack = 0;
        emit heldBackChanged(row, 0);
    }
    r.started = true;
    r.lastStartMs = clock();
    emit startRow(row);
}

void Horn::acknowledge(int row)
{
    Row &r = rows[row];
    r.waiting = false;
    emit waitingForAck(row, false);
    emit stopRow(row);
    emit log(QStringLiteral("[%1] acknowledged %2 after its first ring").arg(r.name, durationText(clock() - r.firstRingMs)),
             LogColours::Notice);
}

// Going quiet stops every row and so every repeat; coming back rings the rows that still
// wait for their acknowledgement.
void Horn::setQuiet(Quiet next, int ms)
{
    const Quiet previous = state;
    state = next;
    if (next == Quiet::Snoozed)
        snoozeTimer.start(ms);
    else
        snoozeTimer.stop();
    emit log(quietLine(previous, next, ms), LogColours::Quiet);
    emit quietChanged();

    if (next != Quiet::Off) {
        stopAll();
        return;
    }
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).waiting)
            start(row);
    }
}

void Horn::stopAll()
{
    for (int row = 0; row < rows.size(); ++row)
        emit stopRow(row);
}

bool Horn::inHoldoff(const Row &row) const
{
    return settings.holdoffMs > 0 && row.started && clock() - row.lastStartMs < settings.holdoffMs;
}

bool Horn::validRow(int row) const
{
    return row >= 0 && row < rows.size();
}
