#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

// What the horn does besides playing every matching row at once.
struct HornSettings
{
    int holdoffMs = 0;           // a row started less than this ago does not restart
    bool repeatUntilAck = false; // a row rung by an event repeats until acknowledged
};

// Decides when the sound rows ring: silence, mute and snooze, the storm hold-off and the
// repeat until acknowledged. It knows the rows only by their index and name and tells its
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

signals:
    void startRow(int row);
    // The row starts because of an event: not a repeat, a click or the end of a mute.
    void rang(int row);
    void stopRow(int row);
    void heldBackChanged(int row, int count);
    void waitingForAck(int row, bool waiting);
    void quietChanged();
    void countersChanged();
    // The link-loss alarm's current ring is to stop; its repeats go on.
    void silenced();
    void log(const QString &msg, const QColor &c);

private:
    struct Row
    {
        QString name;
        qint64 lastStartMs = 0;
        bool started = false;
        int heldBack = 0;
        bool waiting = false;
        qint64 firstRingMs = 0;
    };

    void start(int row);
    void acknowledge(int row);
    void setQuiet(Quiet next, int ms = 0);
    void stopAll();
    bool inHoldoff(const Row &row) const;
    bool validRow(int row) const;

    const HornSettings settings;
    const Clock clock;
    QVector<Row> rows;
    Quiet state = Quiet::Off;
    QTimer snoozeTimer;
    Counters count;
    // The event now being matched has been counted as matched, and as held back.
    bool eventMatched = false;
    bool eventHeld = false;
};
