#pragma once

#include <QColor>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <limits>

#include "alarm/acknowledgement.h"
#include "alarm/alarmclock.h"
#include "alarm/alarmevent.h"
#include "alarm/alarmrow.h"
#include "alarm/alarmsettings.h"
#include "alarm/alarmtransition.h"
#include "alarm/heldbackline.h"
#include "alarm/ring.h"

// One line per transition of an alarm (velmar.alarms), off unless enabled.
Q_DECLARE_LOGGING_CATEGORY(lcAlarms)

// The one owner of every sound row's alarm: its state, its marks and counts, the horn's quiet
// spells and the counters since start. It takes inputs that carry their own facts (events with
// the rows they matched, clicks, the ends and failures of plays, acknowledgements, Silence,
// Mute, Snooze, shelves, the sound output lost and back), tells every change of a row as one
// transition, and asks for its effects (start or stop a row's sound, run the ring programs)
// with the facts of the ring. Everything else shows it or asks it to change; it runs without
// widgets, on a clock that tests can drive.
class AlarmModel : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(AlarmModel)

public:
    enum class Quiet { Off, Muted, Snoozed };
    // The length of a shelf that lasts until the row is unshelved.
    static constexpr qint64 UntilUnshelved = 0;
    struct Counters
    {
        int received = 0; // events
        int matched = 0;  // events that matched a row
        int muted = 0;    // matching events that rang nothing because the horn was muted or snoozed
        int heldBack = 0; // matching events that the hold-off held back
    };

    AlarmModel(const QStringList &rowNames, const AlarmSettings &settings, QObject *parent = nullptr,
               const AlarmClock &clock = AlarmClock::system());

    int rowCount() const;
    const AlarmRow &row(int row) const;
    // A row's button acknowledges while its alarm waits for that.
    bool repeatsUntilAcknowledged() const;
    Quiet quiet() const;
    // The length of the running snooze, and what is left of it.
    int snoozeMs() const;
    int snoozeRemainingMs() const;
    Counters counters() const;
    bool anyNotHeard() const;

    // An event and the rows it matched; every row it matched rings unless shelved, quiet or
    // held back.
    void takeEvent(const AlarmEvent &event);
    // The row's button: acknowledges an alarm that waits for it when rows repeat until then,
    // plays any other.
    void click(int row);
    // The row's sound played to its end.
    void played(int row);
    // The row's ring could not be heard.
    void notHeard(int row, const QString &reason);
    void acknowledge(int row, const Acknowledgement &ack);
    // Acknowledges every alarm that rang since it was last normal, and stops its sound.
    void acknowledgeAll(const Acknowledgement &ack);
    // Stops every sound now; with the repeat until acknowledged it acknowledges every alarm.
    void silence();
    void toggleMute();
    // Snoozes for `ms`; the same length again while it runs ends it early.
    void toggleSnooze(int ms);
    // Mutes, snoozes for `ms` from now, or ends either, whatever the horn does now: for a caller
    // that says which horn it wants instead of clicking a button. Muted or off again changes nothing.
    void setQuietTo(Quiet next, int ms = 0);
    // Acknowledges and stops the row, then rings nothing for it for `ms` (or until unshelved).
    // A critical row is never shelved.
    void shelve(int row, qint64 ms);
    void unshelve(int row);
    // While the output is lost no ring is heard; when it is back every alarm not heard
    // meanwhile rings again. Returns how many did.
    void soundLost(const QString &reason);
    int soundBack();
    // Brings back the alarm that `saved` kept of this row before a restart, with its times,
    // counts and marks: an unacknowledged one rings once more, an acknowledged one stays
    // quiet, a shelf keeps its end (and ends at once when that has passed). A record that a
    // crash or a person mangled is held to what an alarm can be: no count below zero, no time
    // before the epoch or after now, no shelf longer than a year from now.
    void restore(int row, const AlarmRow &saved);

signals:
    // Every change of a row's state or marks.
    void rowChanged(const AlarmTransition &transition);
    void startRow(const Ring &ring);
    void stopRow(int row);
    // A ring for which the ring programs run.
    void rang(const Ring &ring);
    // After every event, matched or not.
    void eventTaken(const AlarmEvent &event);
    void quietChanged();
    void countersChanged();
    // The link-loss alarm's current ring is to stop too.
    void silenced();
    void log(const QString &msg, const QColor &c);

private:
    struct Row
    {
        AlarmRow alarm;
        HeldBackLine heldBackLine;
        // When the row last started, on the steady clock.
        qint64 lastStartMs = 0;
        bool started = false;
    };
    enum class Outcome { Rang, Shelved, Quiet, HeldBack };
    static constexpr qint64 LongestRestoredShelfMs = 366LL * 24 * 60 * 60 * 1000;

    void markCritical(const QStringList &criticalEvents);
    Outcome takeEventFor(int row, const AlarmEvent &event);
    void ring(const Ring &ring);
    void judgeNotHeard(int row, const QString &reason);
    void acknowledgeRow(int row, const Acknowledgement &ack);
    void holdBack(int row);
    void setQuiet(Quiet next, int ms = 0);
    void stopAll(bool alsoCritical);
    void endShelf(int row, AlarmCause cause, const QString &line);
    void expire(int row);
    // Ends what is due (a snooze, shelves, held-back lines, acknowledged alarms kept long
    // enough) and waits for what is due next; settleDue() looks only when something is due.
    void settleDue();
    void settleAll();
    void armDue();
    AlarmTransition begin(int row, AlarmCause cause) const;
    AlarmTransition begin(int row, AlarmCause cause, qint64 atMs) const;
    void finish(AlarmTransition transition);
    bool ringsNow(const AlarmRow &alarm) const;
    bool inHoldoff(const Row &row) const;
    bool validRow(int row) const;
    qint64 steadyNow() const;
    qint64 wallNow() const;

    const AlarmSettings settings;
    const AlarmClock clock;
    QVector<Row> rows;
    Quiet state = Quiet::Off;
    int snoozeLengthMs = 0;
    qint64 snoozeEndMs = 0;
    bool soundIsLost = false;
    QString soundLostReason;
    Counters count;
    QTimer due;
    // When the next thing is due, on the steady clock.
    qint64 nextDueMs = std::numeric_limits<qint64>::max();
};
