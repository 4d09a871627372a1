#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include "operator/runsettings.h"

class OncePerTurn;
class QProcess;
struct AlarmEvent;
struct Ring;

// Runs the configured programs for events and for rows that start ringing, never through a
// shell and never in the way of the main window: after the sounds of the same moment have
// started, a few at once, a bounded queue behind them, a time-out that kills, and the output
// read as it comes, only the first line of the error output kept. What goes wrong is told in
// red lines that a storm cannot multiply.
class CommandRunner : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CommandRunner)

public:
    static constexpr int MaxRunning = 4;
    static constexpr int MaxWaiting = 64;
    static constexpr int MaxErrorChars = 200;
    static constexpr int FailureLineMs = 60000;
    static constexpr int DroppedLineMs = 10000;

    explicit CommandRunner(const RunSettings &settings, QObject *parent = nullptr);

    // Runs every RUN_ON_EVENT entry that lists the event.
    void eventArrived(const AlarmEvent &event);
    // Runs every RUN_ON_RING entry for the ring of the row named `rowName`, with the ring's facts.
    void ring(const Ring &ring, const QString &rowName);

signals:
    void log(const QString &msg, const QColor &c);

private:
    struct Run
    {
        int entry;
        QString program;
        QStringList arguments;
    };
    // What a running program has told on its error output so far.
    struct ErrorOutput
    {
        QByteArray firstLine;
        bool complete = false;
        bool timedOut = false;

        void take(const QByteArray &bytes);
    };

    void enqueue(int entry, const EventCommand &command, const EventFacts &values);
    void drop();
    void startWaiting();
    void start(const Run &run);
    void ended(QProcess *process, const Run &run, const QString &failure);
    void tellDropped();
    QString failureOf(const QProcess &process, int exitCode, const ErrorOutput &error) const;
    void reportFailure(int entry, const QString &line);

    const RunSettings settings;
    QQueue<Run> waiting;
    int running = 0;
    OncePerTurn *startSoon;
    int dropped = 0;
    QElapsedTimer lastDroppedLine;
    // Tells the runs dropped in a storm once the last line about them is old enough.
    QTimer droppedLine;
    QHash<int, QElapsedTimer> lastFailure;
};
