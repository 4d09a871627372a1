#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QStringList>
#include <QVector>

#include "operator/eventcommand.h"

class AMsg;
class QProcess;

// The programs that events run: RUN_ON_RING and RUN_ON_EVENT, and their time-out.
struct RunSettings
{
    static constexpr int DefaultTimeoutMs = 30000;

    QVector<EventCommand> onRing;
    QVector<EventCommand> onEvent;
    int timeoutMs = DefaultTimeoutMs;

    bool enabled() const;
};

// Runs the configured programs for events and for rows that start ringing, never through a
// shell and never in the way of the main window: a few at once, a bounded queue behind them,
// a time-out that kills, and the output read as it comes, only the first line of the error
// output kept. What goes wrong is told in red lines that a storm cannot multiply.
class CommandRunner : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CommandRunner)

public:
    static constexpr int MaxRunning = 4;
    static constexpr int MaxWaiting = 64;
    static constexpr int MaxErrorChars = 200;
    static constexpr int FailureLineMs = 60000;

    explicit CommandRunner(const RunSettings &settings, QObject *parent = nullptr);

    // Runs every RUN_ON_EVENT entry that lists the event, and keeps the event for the rows it rings.
    void eventReceived(const AMsg &msg);
    // Runs every RUN_ON_RING entry for the row that the last event started ringing.
    void rowRang(const QString &rowName);

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
    void start(const Run &run);
    void ended(QProcess *process, const Run &run, const QString &failure);
    QString failureOf(const QProcess &process, int exitCode, const ErrorOutput &error) const;
    void reportFailure(int entry, const QString &line);

    const RunSettings settings;
    EventFacts facts;
    QQueue<Run> waiting;
    int running = 0;
    int dropped = 0;
    QHash<int, QElapsedTimer> lastFailure;
};
