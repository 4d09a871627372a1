#include "soakfigures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <memory>

#include "floodserver.h"
#include "journalfigures.h"
#include "relayload.h"

namespace {

// A start or an end of a program under the sanitizers on a loaded machine.
constexpr int GiveUpMs = 120000;
constexpr int AskEveryMs = 100;
// An answer slower than this is printed when it comes, for its time.
constexpr double SlowAnswerMs = 50;
constexpr int PaceMs = 5;
constexpr int RetryMs = 100;
// One event in this many is the rare one that runs the program.
constexpr qint64 RareEvery = 1000;
constexpr double KiBPerMiB = 1024;
const QByteArray Client = QByteArrayLiteral("Zendri");
const QByteArray Plant = QByteArrayLiteral("Plant");
const QByteArray Asker = QByteArrayLiteral("Desk");
const QString Journal = QStringLiteral("journal.db");
const QString ProgramOutput = QStringLiteral("events.txt");

// A desk as the example sets one up: the plant's pressure readings ring one row, held off and
// repeated until acknowledged, which nobody does here; now and then a fire rings another row and
// appends a line to a file through the example's program, as a desk keeps a record of fires.
QByteArray deskConfig(quint16 port, const QString &keyDir)
{
    const QByteArray sound = "\"" VELMAR_SOURCE_DIR "/examples/alarm.wav\"";
    return "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(port) + "\nNAME_ON_STARS " + Client
        + "\nKEY_ON_STARS \"" + keyDir.toUtf8() + '/' + Client + ".key\"\nFLGON " + Plant
        + "\nEVENT Pressure " + sound + " 50 " + Plant + "\nEVENT Fire " + sound + " 80 " + Plant
        + "\nOPERATOR_BAR 1\nEVENT_HOLDOFF_MS 2000\nREPEAT_UNTIL_ACK 1\nALARM_LIST 1\nJOURNAL " + Journal.toUtf8()
        + "\nRUN_ON_EVENT Fire \"" VELMAR_SOURCE_DIR "/examples/append-event\" " + ProgramOutput.toUtf8()
        + " %time %sender %event \"%text\"\nLOG_FILE velmar.log\n";
}

QByteArray eventLine(qint64 i)
{
    if (i % RareEvery == RareEvery - 1)
        return Plant + ">System _Fire \"hall " + QByteArray::number(i % 7) + "\"\n";
    return Plant + ">System _Pressure \"pump " + QByteArray::number(i % 50) + "\" "
        + QByteArray::number(double(i % 100) / 10, 'f', 1) + " bar\n";
}

// Sends `from`'s Hello ask to the client; the milliseconds until its answer, -1 when the next
// line was something else.
double askHello(QTcpSocket &socket, const QByteArray &from)
{
    const qint64 sentNs = steadyNowNs();
    socket.write(from + '>' + Client + " Hello\n");
    socket.flush();
    QByteArray line;
    if (!readLine(socket, line) || !line.startsWith(Client + '>' + from + " @Hello"))
        return -1;
    return (steadyNowNs() - sentNs) / 1e6;
}

// True once the client answers `from`'s ask, which it does only after it has subscribed.
bool clientAnswers(QTcpSocket &socket, const QByteArray &from)
{
    QElapsedTimer waited;
    waited.start();
    while (askHello(socket, from) < 0) {
        if (waited.elapsed() > GiveUpMs)
            return false;
        QThread::msleep(RetryMs);
    }
    return true;
}

// A second node's Hello ask every 100 ms until `stop`, each counted and timed to its answer.
void keepAsking(quint16 port, const std::atomic<bool> &stop, int &asks, QVector<double> &answerMs)
{
    QTcpSocket socket;
    if (!logIn(socket, port, Asker))
        return;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QElapsedTimer clock;
    clock.start();
    for (qint64 next = 0; !stop; next += AskEveryMs) {
        QThread::msleep(ulong(qMax<qint64>(0, next - clock.elapsed())));
        ++asks;
        const double ms = askHello(socket, Asker);
        if (ms >= 0)
            answerMs.append(ms);
        if (ms > SlowAnswerMs)
            std::printf("soak: an answer took %.1f ms, %.1f s into the soak\n", ms, clock.nsecsElapsed() / 1e9);
    }
}

// The value of `field` ("VmRSS:", "Threads:") in /proc/PID/status, -1 when it is not there.
qint64 statusField(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Samples the process `pid` and the journal after `events` events, and prints the sample.
SoakSample sampleOf(qint64 pid, qint64 events, const QElapsedTimer &clock, const QString &journal)
{
    SoakSample sample;
    sample.events = events;
    sample.seconds = clock.nsecsElapsed() / 1e9;
    sample.residentKiB = statusField(pid, "VmRSS:");
    sample.threads = int(statusField(pid, "Threads:"));
    sample.descriptors = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                             .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    sample.journalBytes = QFileInfo(journal).size() + QFileInfo(journal + QStringLiteral("-wal")).size();
    std::printf("soak %10lld events %8.1f s  resident %7.1f MiB  descriptors %3d  threads %3d  journal %8.1f MiB\n",
                static_cast<long long>(events), sample.seconds, sample.residentKiB / KiBPerMiB,
                sample.descriptors, sample.threads, sample.journalBytes / KiBPerMiB / KiBPerMiB);
    std::fflush(stdout);
    return sample;
}

// Sends `events` events at `perSecond` at most; after every `sampleEvery` of them waits until the
// client has answered an ask behind them and samples it. The pace starts again after each
// pause, so that a pause is never made up by a burst.
void publish(QTcpSocket &plant, qint64 pid, const QString &journal, qint64 events, int perSecond,
             qint64 sampleEvery, SoakRun &run, QString &error)
{
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer pace;
    pace.start();
    qint64 pacedFrom = 0;
    while (run.sent < events) {
        const qint64 due = qMin(qMin(events, (run.sent / sampleEvery + 1) * sampleEvery),
                                pacedFrom + pace.nsecsElapsed() * perSecond / 1000000000);
        if (due <= run.sent) {
            QThread::msleep(PaceMs);
            continue;
        }
        QByteArray chunk;
        for (; run.sent < due; ++run.sent) {
            chunk += eventLine(run.sent);
            run.sentRare += run.sent % RareEvery == RareEvery - 1;
        }
        plant.write(chunk);
        while (plant.bytesToWrite() > 0 && plant.waitForBytesWritten(GiveUpMs)) { }
        if (run.sent % sampleEvery != 0 && run.sent < events)
            continue;
        if (askHello(plant, Plant) < 0) {
            error = QStringLiteral("the client did not answer after %1 events").arg(run.sent);
            return;
        }
        run.samples.append(sampleOf(pid, run.sent, clock, journal));
        pace.restart();
        pacedFrom = run.sent;
    }
    run.eventsPerSecond = run.sent / (clock.nsecsElapsed() / 1e9);
}

// Ends `program` with SIGTERM: a fault unless it ends with status 0 and without a sanitizer's
// report in its error output (the file `errors`).
void endBySignal(QProcess &program, const QString &name, const QString &errors, QStringList &faults)
{
    program.terminate();
    const bool ended = program.waitForFinished(GiveUpMs);
    if (!ended) {
        program.kill();
        program.waitForFinished(GiveUpMs);
    }
    QFile file(errors);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    const bool clean = ended && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
    if (clean && !text.contains(QLatin1String("Sanitizer")) && !text.contains(QLatin1String("runtime error:")))
        return;
    const QString how = !ended ? QStringLiteral("still running, killed")
        : program.exitStatus() == QProcess::NormalExit ? QStringLiteral("exit status %1").arg(program.exitCode())
                                                       : QStringLiteral("ended by a signal");
    faults << QStringLiteral("%1 did not end cleanly on SIGTERM (%2); its error output:\n%3").arg(name, how, text);
}

qint64 alarmCount(const QString &journal, const QString &row)
{
    const QVariant count = journalValue(journal, QStringLiteral("SELECT count FROM alarms WHERE row = ?"), { row });
    return count.isValid() ? count.toLongLong() : -1;
}

qint64 linesIn(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
}

} // namespace

SoakRun runSoak(const QString &velmarPath, const QString &relayPath, qint64 events, int perSecond,
                qint64 sampleEvery, QString &error)
{
    SoakRun run;
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys"));
    QDir().mkpath(keys);
    for (const QByteArray &node : { Client, Plant, Asker })
        writeKey(keys, QString::fromLatin1(node));
    QProcess relay;
    const quint16 port = startRelay(relay, relayPath, keys, dir.filePath(QStringLiteral("relay.log")));
    QFile config(dir.filePath(QStringLiteral("soak.cfg")));
    if (port == 0 || !config.open(QIODevice::WriteOnly) || config.write(deskConfig(port, keys)) < 0) {
        error = QStringLiteral("the relay did not start");
        return run;
    }
    config.close();

    QProcess velmar;
    velmar.setWorkingDirectory(dir.path());
    velmar.setStandardOutputFile(QProcess::nullDevice());
    velmar.setStandardErrorFile(dir.filePath(QStringLiteral("velmar.err")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    velmar.setProcessEnvironment(environment);
    velmar.start(velmarPath, { QStringLiteral("-c"), config.fileName() });
    QTcpSocket plant;
    if (!velmar.waitForStarted(GiveUpMs) || !logIn(plant, port, Plant) || !clientAnswers(plant, Plant)) {
        error = QStringLiteral("velmar did not log in");
        return run;
    }

    std::atomic<bool> stop{false};
    // Until it ends, the asker alone touches the asks and answers.
    const std::unique_ptr<QThread> asker(QThread::create([&] { keepAsking(port, stop, run.asks, run.answerMs); }));
    asker->start();
    const QString journal = dir.filePath(Journal);
    publish(plant, velmar.processId(), journal, events, perSecond, sampleEvery, run, error);
    stop = true;
    asker->wait();

    endBySignal(velmar, QStringLiteral("velmar"), dir.filePath(QStringLiteral("velmar.err")), run.faults);
    endBySignal(relay, QStringLiteral("stars-relay"), dir.filePath(QStringLiteral("relay.log")), run.faults);
    run.journalEvents = journalEvents(journal);
    run.commonAlarmCount = alarmCount(journal, QStringLiteral("Pressure"));
    run.rareAlarmCount = alarmCount(journal, QStringLiteral("Fire"));
    run.programRuns = linesIn(dir.filePath(ProgramOutput));
    return run;
}
