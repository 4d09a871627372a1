#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

#include "operator/shelves.h"

// What the horn does besides playing every matching row at once.
struct HornSettings
{
    static constexpr int HeldBackLineMs = 10000;

    int holdoffMs = 0;           // a row started less than this ago does not restart
    bool repeatUntilAck = false; // a row rung by an event repeats until acknowledged
    // A row with one of these among its events rings through Mute and Snooze and cannot be shelved.
    QStringList criticalEvents;
    // A row's held-back events get one log line at most this often.
    int heldBackLineMs = HeldBackLineMs;
};

// Decides when the sound rows ring: silence, mute and snooze, the storm hold-off, the
// repeat until acknowledged, the shelved rows and the critical ones. It knows the rows only by their index and name and tells its
// decisions through signals, so that it runs without widgets.
class Horn : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Horn)

public:
    enum class Quiet { Off, Muted, Snoozed };
    struct Counters
    {
        int received = 0;  // events
        int matched = 0;   // events that matched at least one row
        int heldBack = 0;  // matching events that arrived while muted or snoozed
    };
    // Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;

    Horn(const QStringList &rowNames, const HornSettings &settings, QObject *parent = nullptr,
         Clock clock = Clock());

    Quiet quiet() const;
    // The length of the running snooze, and what is left of it.
    int snoozeMs() const;
    int snoozeRemainingMs() const;
    Counters counters() const;
    bool isCritical(int row) const;
    // The events the row held back since it was last started by an event.
    int heldBack(int row) const;
    const Shelves &shelves() const;

public slots:
    void eventReceived();
    void rowMatched(int row, const QString &sender, const QString &event);
    // The row's sound played to its end.
    void rowEnded(int row);
    // The row's button: acknowledges a row that waits for it, plays any other.
    void buttonClicked(int row);
    void silence();
    void toggleMute();
    // Snoozes for `ms`; the same length again while it runs ends it early.
    void toggleSnooze(int ms);
    // Stops the row and acknowledges it if it waits for that.
    void acknowledgeRow(int row);
    // Stops and acknowledges the row, then rings nothing for it for `ms` (or until unshelved).
    // A critical row is never shelved.
    void shelve(int row, qint64 ms);
    void unshelve(int row);

signals:
    void startRow(int row);
    // The row starts because of an event: not a repeat, a click or the end of a mute.
    void rang(int row);
    void stopRow(int row);
    void heldBackChanged(int row, int count);
    void waitingForAck(int row, bool waiting);
    void shelvedChanged(int row, bool shelved);
    void quietChanged();
    void countersChanged();
    // The link-loss alarm's current ring is to stop; its repeats go on.
    void silenced();
    void log(const QString &msg, const QColor &c);

private:
    struct Row
    {
        QString name;
        bool critical = false;
        qint64 lastStartMs = 0;
        bool started = false;
        // Held back since the row was last started by an event.
        int heldBack = 0;
        bool waiting = false;
        qint64 firstRingMs = 0;
        // Held back since the row's last held-back line, which is due at this time (0: none).
        int unlogged = 0;
        qint64 lineDueMs = 0;
        qint64 lastLineMs = 0;
        bool lineLogged = false;
        bool lineSinceStart = false;
    };
    // A start by an event counts the held-back events again from zero; a repeat does not.
    enum class Start { ByEvent, Again };

    void markCritical(const QStringList &criticalEvents);
    void start(int row, Start how = Start::Again);
    void holdBack(int row);
    void logHeldBack(int row);
    void logDueHeldBack();
    bool rings(const Row &row) const;
    void acknowledge(int row);
    void setQuiet(Quiet next, int ms = 0);
    void stopAll(bool alsoCritical = true);
    bool inHoldoff(const Row &row) const;
    bool validRow(int row) const;

    const HornSettings settings;
    const Clock clock;
    QVector<Row> rows;
    Quiet state = Quiet::Off;
    QTimer snoozeTimer;
    // Fires when the next held-back line is due.
    QTimer heldBackLineTimer;
    Shelves rowShelves;
    Counters count;
    // The event now being matched has been counted as matched, and as held back.
    bool eventMatched = false;
    bool eventHeld = false;
};
