#include "operator/commandrunner.h"

#include <QProcess>
#include <QTime>
#include <QTimer>

#include <memory>

#include "app/timeunits.h"
#include "log/logcolours.h"
#include "stars/amsg.h"

namespace {

const QString TimeFormat = QStringLiteral("hh:mm:ss");

} // namespace

bool RunSettings::enabled() const
{
    return !onRing.isEmpty() || !onEvent.isEmpty();
}

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
{
}

void CommandRunner::eventReceived(const AMsg &msg)
{
    facts = {msg.from, msg.cmd, msg.params.join(QLatin1Char(' ')), QString(), QTime::currentTime().toString(TimeFormat)};
    for (int i = 0; i < settings.onEvent.size(); ++i) {
        const EventCommand &command = settings.onEvent.at(i);
        if (command.events.contains(msg.cmd))
            enqueue(settings.onRing.size() + i, command, facts);
    }
}

void CommandRunner::rowRang(const QString &rowName)
{
    EventFacts values = facts;
    values.row = rowName;
    for (int i = 0; i < settings.onRing.size(); ++i)
        enqueue(i, settings.onRing.at(i), values);
}

// Beyond the queue a run is dropped; the count is told once the queue has emptied again.
void CommandRunner::enqueue(int entry, const EventCommand &command, const EventFacts &values)
{
    const Run run {entry, command.program, command.argumentsFor(values)};
    if (running < MaxRunning)
        start(run);
    else if (waiting.size() < MaxWaiting)
        waiting.enqueue(run);
    else
        ++dropped;
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
    if (!waiting.isEmpty()) {
        start(waiting.dequeue());
        return;
    }
    if (dropped == 0)
        return;
    emit log(QStringLiteral("Dropped %1 runs of programs on events: at most %2 run at once and %3 wait")
                 .arg(dropped).arg(MaxRunning).arg(MaxWaiting),
             LogColours::Failure);
    dropped = 0;
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
