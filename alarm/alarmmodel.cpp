#include "alarm/alarmmodel.h"

#include <limits>

#include "app/config.h"
#include "app/durationtext.h"
#include "app/timeunits.h"
#include "log/logcolours.h"

// Off unless enabled, as QT_LOGGING_RULES="velmar.alarms.debug=true" does: a line per transition.
Q_LOGGING_CATEGORY(lcAlarms, "velmar.alarms", QtInfoMsg)

namespace {

QString quietLine(AlarmModel::Quiet previous, AlarmModel::Quiet next, int ms)
{
    switch (next) {
    case AlarmModel::Quiet::Muted:
        return QStringLiteral("Horn muted");
    case AlarmModel::Quiet::Snoozed:
        return QStringLiteral("Horn snoozed for %1 min").arg(QString::number(ms / double(MsPerMinute)));
    case AlarmModel::Quiet::Off:
        break;
    }
    return previous == AlarmModel::Quiet::Snoozed ? QStringLiteral("Snooze ended") : QStringLiteral("Horn unmuted");
}

AlarmCause quietCause(AlarmModel::Quiet previous, AlarmModel::Quiet next)
{
    switch (next) {
    case AlarmModel::Quiet::Muted:
        return AlarmCause::Mute;
    case AlarmModel::Quiet::Snoozed:
        return AlarmCause::Snooze;
    case AlarmModel::Quiet::Off:
        break;
    }
    return previous == AlarmModel::Quiet::Snoozed ? AlarmCause::SnoozeEnd : AlarmCause::Unmute;
}

// "1 h", "15 min", or seconds for a length that is neither.
QString lengthText(qint64 ms)
{
    if (ms % MsPerHour == 0)
        return QStringLiteral("%1 h").arg(ms / MsPerHour);
    if (ms % MsPerMinute == 0)
        return QStringLiteral("%1 min").arg(ms / MsPerMinute);
    return QStringLiteral("%1 s").arg(QString::number(ms / double(MsPerSecond)));
}

} // namespace

AlarmModel::AlarmModel(const QStringList &rowNames, const AlarmSettings &settings, QObject *parent,
                       const AlarmClock &clock)
    : QObject(parent)
    , settings(settings)
    , clock(clock)
{
    for (const QString &name : rowNames) {
        AlarmRow alarm;
        alarm.name = name;
        rows.append(Row {alarm, HeldBackLine(settings.heldBackLineMs)});
    }
    markCritical(settings.criticalEvents);
    due.setSingleShot(true);
    due.setTimerType(Qt::PreciseTimer);
    connect(&due, &QTimer::timeout, this, &AlarmModel::settleAll);
}

int AlarmModel::rowCount() const
{
    return rows.size();
}

const AlarmRow &AlarmModel::row(int row) const
{
    return rows.at(row).alarm;
}

bool AlarmModel::repeatsUntilAcknowledged() const
{
    return settings.repeatUntilAck;
}

AlarmModel::Quiet AlarmModel::quiet() const
{
    return state;
}

int AlarmModel::snoozeMs() const
{
    return state == Quiet::Snoozed ? snoozeLengthMs : 0;
}

int AlarmModel::snoozeRemainingMs() const
{
    return state == Quiet::Snoozed ? int(qMax<qint64>(0, snoozeEndMs - steadyNow())) : 0;
}

AlarmModel::Counters AlarmModel::counters() const
{
    return count;
}

bool AlarmModel::anyNotHeard() const
{
    return std::any_of(rows.cbegin(), rows.cend(), [](const Row &row) { return row.alarm.notHeard; });
}

// An event is counted once, however many rows it matched: as muted when a row rang nothing
// for the quiet horn, as held back when a row held it back.
void AlarmModel::takeEvent(const AlarmEvent &event)
{
    settleDue();
    ++count.received;
    bool quiet = false;
    bool heldBack = false;
    for (int row : event.rows) {
        if (!validRow(row))
            continue;
        const Outcome outcome = takeEventFor(row, event);
        quiet = quiet || outcome == Outcome::Quiet;
        heldBack = heldBack || outcome == Outcome::HeldBack;
    }
    count.matched += !event.rows.isEmpty();
    count.muted += quiet;
    count.heldBack += heldBack;
    emit countersChanged();
    emit eventTaken(event);
}

void AlarmModel::click(int row)
{
    settleDue();
    if (!validRow(row))
        return;
    Row &r = rows[row];
    AlarmRow &alarm = r.alarm;
    if (settings.repeatUntilAck && alarm.unacknowledged()) {
        acknowledgeRow(row, Acknowledgement::here());
        return;
    }
    if (alarm.state == AlarmState::Shelved) {
        emit log(QStringLiteral("Shelved: [%1] not played").arg(alarm.name), LogColours::Quiet);
        return;
    }
    if (!ringsNow(alarm)) {
        emit log(QStringLiteral("Muted: [%1] not played").arg(alarm.name), LogColours::Quiet);
        return;
    }
    if (alarm.notHeard) {
        const AlarmTransition transition = begin(row, AlarmCause::Click);
        alarm.notHeard = false;
        alarm.notHeardReason.clear();
        finish(transition);
    }
    r.started = true;
    r.lastStartMs = steadyNow();
    emit startRow(Ring {row, alarm.sender, alarm.event, alarm.text, wallNow(), AlarmCause::Click});
}

// Only the ring of an alarm is followed: the operator's own play, or a play after the alarm
// was stopped, tells nothing.
void AlarmModel::played(int row)
{
    settleDue();
    if (!validRow(row) || rows.at(row).alarm.state != AlarmState::Ringing)
        return;
    AlarmRow &alarm = rows[row].alarm;
    const AlarmTransition heard = begin(row, AlarmCause::Heard);
    alarm.notHeard = false;
    alarm.notHeardReason.clear();
    if (settings.repeatUntilAck && ringsNow(alarm)) {
        if (heard.before != alarm.status())
            finish(heard);
        ring(Ring {row, alarm.sender, alarm.event, alarm.text, wallNow(), AlarmCause::Repeat});
        return;
    }
    alarm.state = AlarmState::Unacknowledged;
    finish(heard);
}

void AlarmModel::notHeard(int row, const QString &reason)
{
    settleDue();
    if (validRow(row) && rows.at(row).alarm.state == AlarmState::Ringing)
        judgeNotHeard(row, reason);
}

void AlarmModel::acknowledge(int row, const Acknowledgement &ack)
{
    settleDue();
    if (validRow(row))
        acknowledgeRow(row, ack);
}

void AlarmModel::acknowledgeAll(const Acknowledgement &ack)
{
    settleDue();
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).alarm.count > 0)
            acknowledgeRow(row, ack);
    }
}

void AlarmModel::silence()
{
    settleDue();
    stopAll(true);
    for (int row = 0; row < rows.size(); ++row) {
        AlarmRow &alarm = rows[row].alarm;
        if (settings.repeatUntilAck && alarm.unacknowledged()) {
            acknowledgeRow(row, Acknowledgement::here(AlarmCause::Silence));
        } else if (alarm.state == AlarmState::Ringing) {
            const AlarmTransition transition = begin(row, AlarmCause::Silence);
            alarm.state = AlarmState::Unacknowledged;
            finish(transition);
        }
    }
    emit silenced();
    emit log(QStringLiteral("Horn silenced"), LogColours::Notice);
}

void AlarmModel::toggleMute()
{
    settleDue();
    setQuiet(state == Quiet::Off ? Quiet::Muted : Quiet::Off);
}

void AlarmModel::toggleSnooze(int ms)
{
    settleDue();
    if (state == Quiet::Snoozed && snoozeLengthMs == ms)
        setQuiet(Quiet::Off);
    else
        setQuiet(Quiet::Snoozed, ms);
}

void AlarmModel::setQuietTo(Quiet next, int ms)
{
    settleDue();
    if (next == Quiet::Snoozed ? ms > 0 : next != state)
        setQuiet(next, ms);
}

void AlarmModel::shelve(int row, qint64 ms)
{
    settleDue();
    if (!validRow(row) || rows.at(row).alarm.critical)
        return;
    acknowledgeRow(row, Acknowledgement::here(AlarmCause::Shelve));
    AlarmRow &alarm = rows[row].alarm;
    const AlarmTransition transition = begin(row, AlarmCause::Shelve);
    if (alarm.state != AlarmState::Shelved)
        alarm.shelvedSinceMs = wallNow();
    alarm.state = AlarmState::Shelved;
    alarm.shelfEndMs = ms == UntilUnshelved ? 0 : wallNow() + ms;
    emit log(ms == UntilUnshelved ? QStringLiteral("[%1] shelved until unshelved").arg(alarm.name)
                     : QStringLiteral("[%1] shelved for %2").arg(alarm.name, lengthText(ms)),
             LogColours::Quiet);
    finish(transition);
    armDue();
}

void AlarmModel::unshelve(int row)
{
    settleDue();
    if (!validRow(row) || rows.at(row).alarm.state != AlarmState::Shelved)
        return;
    const AlarmRow &alarm = rows.at(row).alarm;
    endShelf(row, AlarmCause::Unshelve,
             QStringLiteral("[%1] unshelved after %2").arg(alarm.name, durationText(wallNow() - alarm.shelvedSinceMs)));
}

void AlarmModel::soundLost(const QString &reason)
{
    settleDue();
    soundIsLost = true;
    soundLostReason = reason;
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).alarm.state == AlarmState::Ringing)
            judgeNotHeard(row, reason);
    }
}

// A ring after the output came back is not an event: quiet keeps it back, the hold-off does not.
int AlarmModel::soundBack()
{
    settleDue();
    soundIsLost = false;
    int rung = 0;
    for (int row = 0; row < rows.size(); ++row) {
        const AlarmRow &alarm = rows.at(row).alarm;
        if (!alarm.notHeard || alarm.state != AlarmState::Unacknowledged || !ringsNow(alarm))
            continue;
        ring(Ring {row, alarm.sender, alarm.event, alarm.text, wallNow(), AlarmCause::SoundBack});
        ++rung;
    }
    return rung;
}

void AlarmModel::restore(int row, const AlarmRow &saved)
{
    settleDue();
    if (!validRow(row) || saved.state == AlarmState::Normal)
        return;
    AlarmRow &alarm = rows[row].alarm;
    const AlarmTransition transition = begin(row, AlarmCause::Restore);
    alarm.state = saved.unacknowledged() ? AlarmState::Unacknowledged : saved.state;
    // A row made critical since then cannot stay shelved.
    if (alarm.state == AlarmState::Shelved && alarm.critical)
        alarm.state = AlarmState::Acknowledged;
    alarm.notHeard = saved.unacknowledged() && saved.notHeard;
    alarm.notHeardReason = alarm.notHeard ? saved.notHeardReason : QString();
    const qint64 now = wallNow();
    const auto past = [now](qint64 ms) { return qBound(qint64(0), ms, now); };
    alarm.quietEvents = qMax(0, saved.quietEvents);
    alarm.count = qMax(0, saved.count);
    alarm.firstMs = past(saved.firstMs);
    alarm.lastMs = past(saved.lastMs);
    alarm.unacknowledgedSinceMs = past(saved.unacknowledgedSinceMs);
    alarm.sender = saved.sender;
    alarm.event = saved.event;
    alarm.text = saved.text;
    alarm.shelvedSinceMs = past(saved.shelvedSinceMs);
    alarm.shelfEndMs = saved.shelfEndMs == 0 ? 0 : qBound(qint64(1), saved.shelfEndMs, now + LongestRestoredShelfMs);
    finish(transition);
    if (alarm.unacknowledged() && ringsNow(alarm))
        ring(Ring {row, alarm.sender, alarm.event, alarm.text, wallNow(), AlarmCause::Restore});
    armDue();
}

void AlarmModel::markCritical(const QStringList &criticalEvents)
{
    QStringList unused = criticalEvents;
    for (Row &row : rows) {
        for (const QString &event : row.alarm.name.split(QLatin1Char(' '))) {
            if (criticalEvents.contains(event)) {
                row.alarm.critical = true;
                unused.removeAll(event);
            }
        }
    }
    if (!unused.isEmpty())
        qCDebug(lcConfig).noquote() << QStringLiteral("CRITICAL_EVENTS [%1] names no row's event").arg(unused.join(QLatin1Char(' ')));
}

// While shelved or quiet every matching event is logged and counted, and rings nothing; a row
// that started a moment ago holds the event back instead of starting again. An event that
// rings nothing still leaves its alarm waiting for an acknowledgement.
AlarmModel::Outcome AlarmModel::takeEventFor(int row, const AlarmEvent &event)
{
    Row &r = rows[row];
    AlarmRow &alarm = r.alarm;
    if (alarm.count++ == 0)
        alarm.firstMs = event.atMs;
    alarm.lastMs = event.atMs;
    alarm.sender = event.sender;
    alarm.event = event.event;
    alarm.text = event.text;
    if (alarm.state != AlarmState::Shelved && ringsNow(alarm) && !inHoldoff(r)) {
        ring(Ring {row, event.sender, event.event, event.text, event.atMs, AlarmCause::Event});
        return Outcome::Rang;
    }
    const AlarmTransition transition = begin(row, AlarmCause::Event, event.atMs);
    Outcome outcome = Outcome::HeldBack;
    if (alarm.state == AlarmState::Shelved) {
        emit log(QStringLiteral("Shelved: %1 %2 for [%3]").arg(event.sender, event.event, alarm.name), LogColours::Quiet);
        outcome = Outcome::Shelved;
    } else if (!ringsNow(alarm)) {
        emit log(QStringLiteral("%1: %2 %3 for [%4]")
                     .arg(state == Quiet::Muted ? QStringLiteral("Muted") : QStringLiteral("Snoozed"),
                          event.sender, event.event, alarm.name),
                 LogColours::Quiet);
        ++alarm.quietEvents;
        outcome = Outcome::Quiet;
    } else {
        holdBack(row);
    }
    if (outcome != Outcome::Shelved && !alarm.unacknowledged()) {
        alarm.state = AlarmState::Unacknowledged;
        alarm.unacknowledgedSinceMs = wallNow();
    }
    finish(transition);
    return outcome;
}

// A ring because of an event writes what the row held back since its last held-back line and
// counts anew; every ring is judged not heard at once while the output is lost.
void AlarmModel::ring(const Ring &ring)
{
    Row &r = rows[ring.row];
    AlarmRow &alarm = r.alarm;
    const AlarmTransition transition = begin(ring.row, ring.cause, ring.atMs);
    if (ring.cause == AlarmCause::Event) {
        const QString line = r.heldBackLine.atStart(alarm.name, steadyNow());
        if (!line.isEmpty())
            emit log(line, LogColours::Notice);
        alarm.heldBack = 0;
    }
    if (!alarm.unacknowledged())
        alarm.unacknowledgedSinceMs = wallNow();
    alarm.state = AlarmState::Ringing;
    alarm.quietEvents = 0;
    alarm.sender = ring.sender;
    alarm.event = ring.event;
    alarm.text = ring.text;
    r.started = true;
    r.lastStartMs = steadyNow();
    finish(transition);
    emit startRow(ring);
    if (ring.runsPrograms())
        emit rang(ring);
    if (soundIsLost)
        judgeNotHeard(ring.row, soundLostReason);
}

void AlarmModel::judgeNotHeard(int row, const QString &reason)
{
    AlarmRow &alarm = rows[row].alarm;
    AlarmTransition transition = begin(row, AlarmCause::NotHeard);
    transition.reason = reason;
    alarm.state = AlarmState::Unacknowledged;
    alarm.notHeard = true;
    alarm.notHeardReason = reason;
    emit log(QStringLiteral("Could not sound [%1] for %2 %3: %4").arg(alarm.name, alarm.sender, alarm.event, reason),
             LogColours::Failure);
    finish(transition);
}

// Acknowledging also stops a sound that the operator started.
void AlarmModel::acknowledgeRow(int row, const Acknowledgement &ack)
{
    AlarmRow &alarm = rows[row].alarm;
    if (alarm.unacknowledged()) {
        AlarmTransition transition = begin(row, ack.cause);
        transition.who = ack.who;
        transition.desk = ack.desk;
        alarm.state = AlarmState::Acknowledged;
        alarm.notHeard = false;
        alarm.notHeardReason.clear();
        alarm.quietEvents = 0;
        if (ack.desk.isEmpty())
            emit log(QStringLiteral("[%1] acknowledged %2 after its first ring")
                         .arg(alarm.name, durationText(wallNow() - alarm.unacknowledgedSinceMs)),
                     LogColours::Notice);
        else
            emit log(QStringLiteral("[%1] acknowledged at %2 by %3").arg(alarm.name, ack.desk, ack.who), LogColours::Notice);
        finish(transition);
        armDue();
    }
    emit stopRow(row);
}

void AlarmModel::holdBack(int row)
{
    Row &r = rows[row];
    ++r.alarm.heldBack;
    if (r.heldBackLine.count(steadyNow()))
        armDue();
}

// Going quiet stops every row that is not critical and so its repeats; coming back rings the
// alarms that wait for their acknowledgement.
void AlarmModel::setQuiet(Quiet next, int ms)
{
    const Quiet previous = state;
    const AlarmCause cause = quietCause(previous, next);
    state = next;
    snoozeLengthMs = next == Quiet::Snoozed ? ms : 0;
    snoozeEndMs = next == Quiet::Snoozed ? steadyNow() + ms : 0;
    emit log(quietLine(previous, next, ms), LogColours::Quiet);
    emit quietChanged();
    armDue();

    if (next != Quiet::Off) {
        stopAll(false);
        for (int row = 0; row < rows.size(); ++row) {
            AlarmRow &alarm = rows[row].alarm;
            if (alarm.state != AlarmState::Ringing || alarm.critical)
                continue;
            const AlarmTransition transition = begin(row, cause);
            alarm.state = AlarmState::Unacknowledged;
            finish(transition);
        }
        return;
    }
    if (!settings.repeatUntilAck)
        return;
    for (int row = 0; row < rows.size(); ++row) {
        const AlarmRow &alarm = rows.at(row).alarm;
        if (alarm.state == AlarmState::Unacknowledged && !alarm.critical)
            ring(Ring {row, alarm.sender, alarm.event, alarm.text, wallNow(), cause});
    }
}

void AlarmModel::stopAll(bool alsoCritical)
{
    for (int row = 0; row < rows.size(); ++row) {
        if (alsoCritical || !rows.at(row).alarm.critical)
            emit stopRow(row);
    }
}

// After a shelf the alarm is acknowledged: shelving acknowledged it, and what came meanwhile
// was the shelf's to hold.
void AlarmModel::endShelf(int row, AlarmCause cause, const QString &line)
{
    AlarmRow &alarm = rows[row].alarm;
    const AlarmTransition transition = begin(row, cause);
    alarm.state = alarm.count > 0 ? AlarmState::Acknowledged : AlarmState::Normal;
    emit log(line, LogColours::Quiet);
    finish(transition);
    armDue();
}

void AlarmModel::expire(int row)
{
    AlarmRow &alarm = rows[row].alarm;
    const AlarmTransition transition = begin(row, AlarmCause::Expired);
    alarm.state = AlarmState::Normal;
    alarm.count = 0;
    alarm.heldBack = 0;
    alarm.quietEvents = 0;
    finish(transition);
}

// Every input settles first, so that a storm costs one look at the clock per event.
void AlarmModel::settleDue()
{
    if (steadyNow() >= nextDueMs)
        settleAll();
}

void AlarmModel::settleAll()
{
    if (state == Quiet::Snoozed && snoozeEndMs <= steadyNow())
        setQuiet(Quiet::Off);
    for (int row = 0; row < rows.size(); ++row) {
        Row &r = rows[row];
        const AlarmRow &alarm = r.alarm;
        if (alarm.state == AlarmState::Shelved && alarm.shelfEndMs != 0 && alarm.shelfEndMs <= wallNow())
            endShelf(row, AlarmCause::ShelfEnd, QStringLiteral("[%1] shelf ended").arg(alarm.name));
        const QString line = r.heldBackLine.whenDue(alarm.name, steadyNow());
        if (!line.isEmpty())
            emit log(line, LogColours::Notice);
        if (alarm.state == AlarmState::Acknowledged && alarm.lastMs + settings.keepAcknowledgedMs <= wallNow())
            expire(row);
    }
    armDue();
}

void AlarmModel::armDue()
{
    qint64 wait = std::numeric_limits<qint64>::max();
    if (state == Quiet::Snoozed)
        wait = snoozeEndMs - steadyNow();
    for (const Row &r : qAsConst(rows)) {
        const AlarmRow &alarm = r.alarm;
        if (alarm.state == AlarmState::Shelved && alarm.shelfEndMs != 0)
            wait = qMin(wait, alarm.shelfEndMs - wallNow());
        if (r.heldBackLine.dueMs() > 0)
            wait = qMin(wait, r.heldBackLine.dueMs() - steadyNow());
        if (alarm.state == AlarmState::Acknowledged)
            wait = qMin(wait, alarm.lastMs + settings.keepAcknowledgedMs - wallNow());
    }
    if (wait == std::numeric_limits<qint64>::max()) {
        nextDueMs = wait;
        due.stop();
        return;
    }
    nextDueMs = steadyNow() + wait;
    due.start(int(qBound(qint64(0), wait, qint64(std::numeric_limits<int>::max()))));
}

AlarmTransition AlarmModel::begin(int row, AlarmCause cause) const
{
    return begin(row, cause, wallNow());
}

// An event's entries in the journal share its time, so that they stay in the order they were
// written whichever millisecond the model took them in.
AlarmTransition AlarmModel::begin(int row, AlarmCause cause, qint64 atMs) const
{
    AlarmTransition transition;
    transition.row = row;
    transition.before = rows.at(row).alarm.status();
    transition.cause = cause;
    transition.atMs = atMs;
    return transition;
}

void AlarmModel::finish(AlarmTransition transition)
{
    const AlarmRow &alarm = rows.at(transition.row).alarm;
    transition.rowName = alarm.name;
    transition.after = alarm.status();
    transition.sender = alarm.sender;
    transition.event = alarm.event;
    transition.text = alarm.text;
    qCDebug(lcAlarms).noquote() << transition.traceLine();
    emit rowChanged(transition);
}

// A critical row rings through Mute and Snooze.
bool AlarmModel::ringsNow(const AlarmRow &alarm) const
{
    return state == Quiet::Off || alarm.critical;
}

bool AlarmModel::inHoldoff(const Row &row) const
{
    return settings.holdoffMs > 0 && row.started && steadyNow() - row.lastStartMs < settings.holdoffMs;
}

bool AlarmModel::validRow(int row) const
{
    return row >= 0 && row < rows.size();
}

qint64 AlarmModel::steadyNow() const
{
    return clock.steadyMs();
}

qint64 AlarmModel::wallNow() const
{
    return clock.wallMs();
}
