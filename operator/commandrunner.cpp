#include "operator/commandrunner.h"

#include <QDateTime>
#include <QProcess>
#include <QTimer>

#include <memory>

#include "alarm/alarmevent.h"
#include "alarm/ring.h"
#include "app/onceperturn.h"
#include "app/timeunits.h"
#include "log/logcolours.h"

namespace {

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss"));
}

QString limitsText()
{
    return QStringLiteral("at most %1 run at once and %2 wait").arg(CommandRunner::MaxRunning).arg(CommandRunner::MaxWaiting);
}

} // namespace

void CommandRunner::ErrorOutput::take(const QByteArray &bytes)
{
    if (complete)
        return;
    firstLine += bytes.left(MaxErrorChars - firstLine.size());
    const int end = firstLine.indexOf('\n');
    if (end >= 0)
        firstLine.truncate(end);
    complete = end >= 0 || firstLine.size() >= MaxErrorChars;
}

CommandRunner::CommandRunner(const RunSettings &settings, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , startSoon(new OncePerTurn([this] { startWaiting(); }, this))
{
    droppedLine.setSingleShot(true);
    connect(&droppedLine, &QTimer::timeout, this, &CommandRunner::tellDropped);
}

// The time is written only for an event that runs a program: converting it to local time looks
// up the time zone, which costs a file system call for every event of a flood.
void CommandRunner::eventArrived(const AlarmEvent &event)
{
    for (int i = 0; i < settings.onEvent.size(); ++i) {
        const EventCommand &command = settings.onEvent.at(i);
        if (command.events.contains(event.event))
            enqueue(settings.onRing.size() + i, command, {event.sender, event.event, event.text, QString(), timeText(event.atMs)});
    }
}

void CommandRunner::ring(const Ring &ring, const QString &rowName)
{
    const EventFacts facts {ring.sender, ring.event, ring.text, rowName, timeText(ring.atMs)};
    for (int i = 0; i < settings.onRing.size(); ++i)
        enqueue(i, settings.onRing.at(i), facts);
}

// The programs start once the event loop turns, after the sounds asked for meanwhile. Beyond
// the running ones and the queue a run is dropped.
void CommandRunner::enqueue(int entry, const EventCommand &command, const EventFacts &values)
{
    if (running + waiting.size() >= MaxRunning + MaxWaiting) {
        drop();
        return;
    }
    waiting.enqueue(Run {entry, command.program, command.argumentsFor(values)});
    startSoon->request();
}

// The first run dropped is told at once; how many were is told when the queue has emptied.
void CommandRunner::drop()
{
    if (dropped++ == 0)
        emit log(QStringLiteral("Dropping runs of programs on events: ") + limitsText(), LogColours::Failure);
}

void CommandRunner::startWaiting()
{
    while (running < MaxRunning && !waiting.isEmpty())
        start(waiting.dequeue());
}

// Standard input and output are the null device, so that a program that reads waits for
// nothing and one that writes megabytes costs nothing; the error output is read as it comes.
void CommandRunner::start(const Run &run)
{
    ++running;
    auto *process = new QProcess(this);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    const auto error = std::make_shared<ErrorOutput>();
    auto *timeout = new QTimer(process);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, process, [process, error] {
        error->timedOut = true;
        process->kill();
    });
    connect(process, &QProcess::readyReadStandardError, this,
            [process, error] { error->take(process->readAllStandardError()); });
    connect(process, &QProcess::errorOccurred, this, [this, process, run](QProcess::ProcessError kind) {
        if (kind == QProcess::FailedToStart)
            ended(process, run, QStringLiteral("could not start: %1").arg(process->errorString()));
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, process, run, error](int exitCode) { ended(process, run, failureOf(*process, exitCode, *error)); });
    timeout->start(settings.timeoutMs);
    process->start(run.program, run.arguments);
}

void CommandRunner::ended(QProcess *process, const Run &run, const QString &failure)
{
    process->disconnect(this);
    process->deleteLater();
    --running;
    if (!failure.isEmpty())
        reportFailure(run.entry, QStringLiteral("[%1] failed: %2").arg(run.program, failure));
    startWaiting();
    if (waiting.isEmpty())
        tellDropped();
}

// At most one line every DroppedLineMs: a later storm's count waits for its turn.
void CommandRunner::tellDropped()
{
    if (dropped == 0 || !waiting.isEmpty())
        return;
    if (lastDroppedLine.isValid() && lastDroppedLine.elapsed() < DroppedLineMs) {
        droppedLine.start(int(DroppedLineMs - lastDroppedLine.elapsed()));
        return;
    }
    emit log(QStringLiteral("Dropped %1 runs of programs on events: ").arg(dropped) + limitsText(), LogColours::Failure);
    dropped = 0;
    lastDroppedLine.start();
}

// Empty for a program that ended well. On Unix a crashed process's exit code is its signal.
QString CommandRunner::failureOf(const QProcess &process, int exitCode, const ErrorOutput &error) const
{
    QString reason;
    if (error.timedOut)
        reason = QStringLiteral("still running after %1 s: killed").arg(settings.timeoutMs / double(MsPerSecond));
    else if (process.exitStatus() == QProcess::CrashExit)
        reason = QStringLiteral("ended by signal %1").arg(exitCode);
    else if (exitCode != 0)
        reason = QStringLiteral("exit status %1").arg(exitCode);
    const QString firstLine = inertText(QString::fromLocal8Bit(error.firstLine).trimmed(), MaxErrorChars);
    if (reason.isEmpty() || firstLine.isEmpty())
        return reason;
    return reason + QStringLiteral(": ") + firstLine;
}

void CommandRunner::reportFailure(int entry, const QString &line)
{
    QElapsedTimer &last = lastFailure[entry];
    if (last.isValid() && last.elapsed() < FailureLineMs)
        return;
    last.start();
    emit log(line, LogColours::Failure);
}
