#include "operator/horn.h"

#include <QElapsedTimer>

#include "app/config.h"
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

QString heldBackLine(const QString &row, int count, bool more)
{
    const QString events = count == 1 ? QStringLiteral("event") : QStringLiteral("events");
    return more ? QStringLiteral("[%1] held back %2 more %3").arg(row).arg(count).arg(events)
                : QStringLiteral("[%1] held back %2 %3 since it last started").arg(row).arg(count).arg(events);
}

} // namespace

Horn::Horn(const QStringList &rowNames, const HornSettings &settings, QObject *parent, Clock clock)
    : QObject(parent)
    , settings(settings)
    , clock(clock ? clock : Clock(steadyMs))
    , rowShelves(rowNames, this->clock)
{
    for (const QString &name : rowNames)
        rows.append(Row {name});
    markCritical(settings.criticalEvents);
    snoozeTimer.setSingleShot(true);
    snoozeTimer.setTimerType(Qt::PreciseTimer);
    connect(&snoozeTimer, &QTimer::timeout, this, [this] { setQuiet(Quiet::Off); });
    heldBackLineTimer.setSingleShot(true);
    connect(&heldBackLineTimer, &QTimer::timeout, this, &Horn::logDueHeldBack);
    connect(&rowShelves, &Shelves::log, this, &Horn::log);
    connect(&rowShelves, &Shelves::changed, this, &Horn::shelvedChanged);
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

bool Horn::isCritical(int row) const
{
    return validRow(row) && rows.at(row).critical;
}

int Horn::heldBack(int row) const
{
    return validRow(row) ? rows.at(row).heldBack : 0;
}

const Shelves &Horn::shelves() const
{
    return rowShelves;
}

void Horn::eventReceived()
{
    ++count.received;
    eventMatched = false;
    eventHeld = false;
    emit countersChanged();
}

// While quiet or shelved every matching event is logged and counted, and rings nothing; a row
// that started a moment ago counts the event instead of starting again.
void Horn::rowMatched(int row, const QString &sender, const QString &event)
{
    if (!validRow(row))
        return;
    rowShelves.endExpired();
    logDueHeldBack();
    if (!eventMatched) {
        eventMatched = true;
        ++count.matched;
        emit countersChanged();
    }
    if (rowShelves.isShelved(row)) {
        emit log(QStringLiteral("Shelved: %1 %2 for [%3]").arg(sender, event, rows.at(row).name), LogColours::Quiet);
        return;
    }
    if (!rings(rows.at(row))) {
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
        holdBack(row);
        return;
    }
    if (settings.repeatUntilAck && !r.waiting) {
        r.waiting = true;
        r.firstRingMs = clock();
        emit waitingForAck(row, true);
    }
    emit rang(row);
    start(row, Start::ByEvent);
}

void Horn::rowEnded(int row)
{
    if (validRow(row) && rows.at(row).waiting && rings(rows.at(row)))
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
    if (rowShelves.isShelved(row)) {
        emit log(QStringLiteral("Shelved: [%1] not played").arg(rows.at(row).name), LogColours::Quiet);
        return;
    }
    if (!rings(rows.at(row))) {
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

void Horn::acknowledgeRow(int row)
{
    if (!validRow(row))
        return;
    if (rows.at(row).waiting)
        acknowledge(row);
    else
        emit stopRow(row);
}

void Horn::shelve(int row, qint64 ms)
{
    if (!validRow(row) || rows.at(row).critical)
        return;
    acknowledgeRow(row);
    rowShelves.shelve(row, ms);
}

void Horn::unshelve(int row)
{
    if (validRow(row))
        rowShelves.unshelve(row);
}

void Horn::markCritical(const QStringList &criticalEvents)
{
    QStringList unused = criticalEvents;
    for (Row &row : rows) {
        for (const QString &event : row.name.split(QLatin1Char(' '))) {
            if (criticalEvents.contains(event)) {
                row.critical = true;
                unused.removeAll(event);
            }
        }
    }
    if (!unused.isEmpty())
        qCDebug(lcConfig).noquote() << QStringLiteral("CRITICAL_EVENTS [%1] names no row's event").arg(unused.join(QLatin1Char(' ')));
}

// A start by an event logs what the row held back since its last held-back line, unless such
// a line came less than a line interval ago; repeats log nothing, so that a storm on a
// repeating row gives one line an interval with the exact count.
void Horn::start(int row, Start how)
{
    Row &r = rows[row];
    if (how == Start::ByEvent) {
        if (r.unlogged > 0 && (!r.lineLogged || clock() - r.lastLineMs >= settings.heldBackLineMs))
            logHeldBack(row);
        r.lineSinceStart = r.unlogged > 0;
        if (r.heldBack > 0) {
            r.heldBack = 0;
            emit heldBackChanged(row, 0);
        }
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

void Horn::holdBack(int row)
{
    Row &r = rows[row];
    emit heldBackChanged(row, ++r.heldBack);
    if (r.unlogged++ > 0)
        return;
    r.lineDueMs = clock() + settings.heldBackLineMs;
    if (!heldBackLineTimer.isActive())
        heldBackLineTimer.start(settings.heldBackLineMs);
}

void Horn::logHeldBack(int row)
{
    Row &r = rows[row];
    emit log(heldBackLine(r.name, r.unlogged, r.lineSinceStart), LogColours::Notice);
    r.unlogged = 0;
    r.lineDueMs = 0;
    r.lastLineMs = clock();
    r.lineLogged = true;
    r.lineSinceStart = true;
}

// Logs the held-back lines that are due and waits for the next one.
void Horn::logDueHeldBack()
{
    qint64 next = 0;
    for (int row = 0; row < rows.size(); ++row) {
        const Row &r = rows.at(row);
        if (r.lineDueMs > 0 && r.lineDueMs <= clock())
            logHeldBack(row);
        else if (r.lineDueMs > 0 && (next == 0 || r.lineDueMs < next))
            next = r.lineDueMs;
    }
    if (next > 0)
        heldBackLineTimer.start(int(next - clock()));
    else
        heldBackLineTimer.stop();
}

// Going quiet stops every row that is not critical and so its repeats; coming back rings the
// rows that still wait for their acknowledgement.
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
        stopAll(false);
        return;
    }
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).waiting && !rows.at(row).critical)
            start(row);
    }
}

void Horn::stopAll(bool alsoCritical)
{
    for (int row = 0; row < rows.size(); ++row) {
        if (alsoCritical || !rows.at(row).critical)
            emit stopRow(row);
    }
}

// A critical row rings through Mute and Snooze.
bool Horn::rings(const Row &row) const
{
    return state == Quiet::Off || row.critical;
}

bool Horn::inHoldoff(const Row &row) const
{
    return settings.holdoffMs > 0 && row.started && clock() - row.lastStartMs < settings.holdoffMs;
}

bool Horn::validRow(int row) const
{
    return row >= 0 && row < rows.size();
}
