#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "benchfigures.h"
#include "clientsession.h"
#include "journalfigures.h"
#include "linkfigures.h"
#include "log/logarea.h"
#include "pulseserver.h"
#include "relayload.h"
#include "soakfigures.h"
#include "soundfigures.h"

namespace {

constexpr int Runs = 3;
constexpr int ParseLines = 1000000;
constexpr int ConfigLines = 100000;
// A received line as long as the relay passes, and the most it may hold the window up.
constexpr int LongLineBytes = 1 << 20;
constexpr double LongLineMs = 1000;
// Every road a received line of that length may take: an event's items plain, unbalanced,
// unterminated, unreadable; one item, event name or sender of it all; a peer desk's messages;
// an ask and an answer. `unit` repeats between `head` and `tail` up to the length.
struct LongLineShape {
    const char *head;
    const char *unit;
    const char *tail;
};
const LongLineShape LongLineShapes[] = {
    { "Dev>Bench _Alarm", " x\"", "" },
    { "Dev>Bench _Alarm", " x", "" },
    { "Dev>Bench _Alarm \"", "a b ", "" },
    { "Dev>Bench _Alarm ", "\x01\x7f\xff\xc3", "" },
    { "Dev>Bench _Alarm ", "x", "" },
    { "Dev>Bench _", "A", "" },
    { "", "Dev", ">Bench _Alarm" },
    { "Peer>Bench _AlarmAcknowledged Dev Alarm ", "bob", "" },
    { "Peer>Bench _SoundLost", " why\"", "" },
    { "Dev>Bench help", " x\"", "" },
    { "Dev>Bench @flgon", " Ok:", "" },
};
constexpr int FloodEvents = 500000;
constexpr int FloodAsks = 100000;
constexpr int FewLines = 10000;
constexpr int ManyLines = 1000000;
constexpr int RelayEventsToOne = 500000;
constexpr int RelayEventsToTen = 200000;
constexpr int RelaySubscribers = 10;
constexpr double KiBPerMiB = 1024;
constexpr int StormEvents = 500;
constexpr int StormPerSecond = 1000;
constexpr int StormAskEvery = 10;
// A program that takes a while, as speech does, so that the storm fills the queue.
const QByteArray StormProgram = QByteArrayLiteral("RUN_ON_EVENT Tick sleep 0.2\n");
const QByteArray IdleProgram = QByteArrayLiteral("RUN_ON_EVENT Never sleep 0.2\n");
const QString DebugOff = QStringLiteral("*.debug=false");
const QString DebugOn = QStringLiteral("*.debug=false\nvelmar.*.debug=true");
const QString MemoryProbe = QStringLiteral("--memory-probe");
const QString PlayProbe = QStringLiteral("--play-probe");
const QString JournalArgument = QStringLiteral("journal");
// A journal in the working directory.
const QByteArray JournalKey = QByteArrayLiteral("JOURNAL journal.db\n");
constexpr int Flaps = 60;
constexpr int BurstEvents = 1000;
constexpr double BurstAnswerMs = 1000;
// A row that every event of the burst matches, with the demo's sound.
const QByteArray BurstRow = QByteArrayLiteral("EVENT Tick \"" VELMAR_SOURCE_DIR "/examples/alarm.wav\" 80 Dev\n");
// The first alarm may cost this much more than the later ones.
constexpr double FirstPlayRatio = 1.5;
// A peer desk's flood: 10,000 acknowledgements within a second and as fast as the client takes
// them, with an ask after every 100th; programs configured on other events, as in the example.
constexpr int DeskAcks = 10000;
constexpr int DeskAcksPerSecond = 10000;
constexpr int DeskAskEvery = 100;
const QByteArray DeskConfig = QByteArrayLiteral("DESKS Peer\nEVENT Alarm x.wav 50 Dev\nOPERATOR_BAR 1\nREPEAT_UNTIL_ACK 1\n") + IdleProgram;
const QByteArray DeskAck = QByteArrayLiteral("Peer>Bench _AlarmAcknowledged Dev Alarm bob@b\n");
const QByteArray DeskAlarm = QByteArrayLiteral("Dev>Bench _Alarm\n");
const QByteArray DeskOther = QByteArrayLiteral("Peer>Bench _Other Dev Alarm bob@b\n");
constexpr double JournalPlayCostMs = 0.5;
// A play varies by milliseconds on a busy machine: more runs, off and on in turn.
constexpr int JournalPlayRuns = 7;
constexpr int JournalStormEvents = 100000;
constexpr double JournalStormRate = 20000;
constexpr int JournalWaitMs = 30000;
constexpr int LargeJournalEntries = 1000000;
constexpr int LargeJournalDays = 7;
constexpr int CrashRuns = 20;
constexpr int CrashStormEvents = 10000;
// A week of a busy desk's events in at most an hour, sampled every 100,000; the growth counts
// from the first million on.
constexpr qint64 SoakEvents = 10000000;
constexpr int SoakPerSecond = 10000;
constexpr qint64 SoakSampleEvery = 100000;
constexpr qint64 SoakSettledAfter = 1000000;
constexpr double SoakGrowthMiB = 5;
constexpr int SoakRestingWindow = 10;
constexpr double SoakAnswerMs = 50;
// A target of none at all: a target of 0 means "no target".
constexpr double NoneAtAll = 1e-9;

struct Figure {
    QString name;
    QString unit;
    QVector<double> runs;
    double target;    // 0: no target
    bool atLeast;     // the target is a lower bound
};

double median(QVector<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

bool passes(const Figure &figure)
{
    const double value = median(figure.runs);
    if (value < 0)
        return false;
    if (figure.target == 0)
        return true;
    return figure.atLeast ? value >= figure.target : value <= figure.target;
}

QString number(double value)
{
    if (value < 0)
        return QStringLiteral("failed");
    if (value >= 10000)
        return QString::number(qRound64(value));
    return QString::number(value, 'f', value >= 100 ? 0 : 1);
}

void printTable(const QVector<Figure> &figures)
{
    std::printf("%-28s %14s %14s  %-5s %s\n", "figure", "value", "target", "pass", "runs");
    for (const Figure &figure : figures) {
        QStringList runs;
        for (double run : figure.runs)
            runs.append(number(run));
        const QString target = figure.target == 0
            ? QStringLiteral("-")
            : (figure.atLeast ? QStringLiteral(">= ") : QStringLiteral("<= ")) + number(figure.target);
        std::printf("%-28s %14s %14s  %-5s %s\n", qPrintable(figure.name),
                    qPrintable(number(median(figure.runs)) + QLatin1Char(' ') + figure.unit),
                    qPrintable(target), passes(figure) ? "pass" : "FAIL",
                    qPrintable(runs.join(QStringLiteral(" / "))));
    }
    std::fflush(stdout);
}

void warn(const QString &figure, const QString &error)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(figure), qPrintable(error));
}

// Starts a private PulseAudio server for `figure`, or says that the default output plays.
void startPrivateSound(PulseServer &pulse, const QString &figure)
{
    if (!PulseServer::unavailable().isEmpty() || !pulse.start())
        warn(figure, QStringLiteral("no private PulseAudio server: the default output plays"));
}

double rate(int lines, qint64 ns)
{
    return ns < 0 ? -1 : lines / (ns / 1e9);
}

// Runs `body` with the velmar.* debug lines on, as the program runs by default, and the
// process's standard error, where they go, sent to /dev/null.
void withDebugLines(const std::function<void()> &body)
{
    QLoggingCategory::setFilterRules(DebugOn);
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(null);
    body();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    QLoggingCategory::setFilterRules(DebugOff);
}

// The child process of the memory figure: prints the growth of the peak resident memory
// from 10k to 1M received lines in KiB.
int memoryProbe()
{
    ClientSession session;
    QString error;
    double gapMs = 0;
    if (!session.open(error) || session.burst(FewLines - 1, 1, gapMs, error) < 0) {
        warn(QStringLiteral("memory"), error);
        return 1;
    }
    const qint64 afterFew = peakResidentKiB();
    if (session.burst(ManyLines - FewLines - 1, 1, gapMs, error) < 0) {
        warn(QStringLiteral("memory"), error);
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(peakResidentKiB() - afterFew));
    return 0;
}

double memoryGrowthMiB()
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QCoreApplication::applicationFilePath(), { MemoryProbe });
    if (!probe.waitForFinished(-1) || probe.exitCode() != 0)
        return -1;
    bool ok = false;
    const double kib = probe.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? kib / KiBPerMiB : -1;
}

QByteArray longLine(const LongLineShape &shape)
{
    QByteArray line = shape.head;
    while (line.size() + qstrlen(shape.tail) < LongLineBytes)
        line += shape.unit;
    return line + shape.tail + '\n';
}

void addParseAndConfig(QVector<Figure> &figures)
{
    Figure parse{ QStringLiteral("parse"), QStringLiteral("lines/s"), {}, 3e6, true };
    const QStringList mix = messageMix(ParseLines);
    for (int r = 0; r < Runs; ++r)
        parse.runs.append(parseLinesPerSecond(mix));
    figures.append(parse);

    // Items that each end in a quote they did not open: every one of them reports.
    Figure odd{ QStringLiteral("1 MiB line of odd items, debug on"), QStringLiteral("ms"), {}, LongLineMs, false };
    const QString oddLine = QString::fromUtf8(longLine(LongLineShapes[0]));
    withDebugLines([&] {
        for (int r = 0; r < Runs; ++r)
            odd.runs.append(1e3 / parseLinesPerSecond({oddLine}));
    });
    figures.append(odd);

    Figure load{ QStringLiteral("config"), QStringLiteral("ms"), {}, 150, false };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.cfg"));
    if (writeLargeConfig(path, ConfigLines)) {
        for (int r = 0; r < Runs; ++r)
            load.runs.append(configLoadMs(path));
    }
    figures.append(load);
}

void addFloods(QVector<Figure> &figures)
{
    Figure flood{ QStringLiteral("event flood"), QStringLiteral("events/s"), {}, 1e6, true };
    Figure debugFlood{ QStringLiteral("event flood, debug on"), QStringLiteral("events/s"), {}, 40e3, true };
    Figure asks{ QStringLiteral("ask flood"), QStringLiteral("asks/s"), {}, 40e3, true };
    Figure stall{ QStringLiteral("stall"), QStringLiteral("ms"), {}, 30, false };

    ClientSession session;
    QString error;
    if (!session.open(error)) {
        warn(QStringLiteral("event flood"), error);
    } else {
        double gapMs = 0;
        session.burst(FewLines, FewLines, gapMs, error);   // warm-up
        for (int r = 0; r < Runs; ++r) {
            flood.runs.append(rate(FloodEvents, session.burst(FloodEvents, 1, gapMs, error)));
            stall.runs.append(gapMs);
        }
        withDebugLines([&] {
            for (int r = 0; r < Runs; ++r)
                debugFlood.runs.append(rate(FloodEvents, session.burst(FloodEvents, 1, gapMs, error)));
        });
        for (int r = 0; r < Runs; ++r)
            asks.runs.append(rate(FloodAsks, session.burst(0, FloodAsks, gapMs, error)));
        if (!error.isEmpty())
            warn(QStringLiteral("floods"), error);
    }
    figures << flood << debugFlood << asks << stall;
}

// The ask flood again with the log window shown and its display already full, so that
// every line also pushes the oldest one out.
void addShownLog(QVector<Figure> &figures)
{
    Figure lines{ QStringLiteral("ask flood, log window shown"), QStringLiteral("lines/s"), {}, 10e3, true };
    Figure stall{ QStringLiteral("stall, log window shown"), QStringLiteral("ms"), {}, 30, false };

    ClientSession session;
    QString error;
    if (!session.open(error)) {
        warn(lines.name, error);
    } else {
        double gapMs = 0;
        // The warm-up fills the display and takes the first layout of the shown window.
        session.showLog();
        session.burst(0, LogArea::MaxLogBlocks, gapMs, error);
        for (int r = 0; r < Runs; ++r) {
            lines.runs.append(rate(FloodAsks, session.burst(0, FloodAsks, gapMs, error)));
            stall.runs.append(gapMs);
        }
        if (!error.isEmpty())
            warn(lines.name, error);
    }
    figures << lines << stall;
}

// The longest answer to a Hello ask after every 10th of 500 events at 1000/s with `program`
// configured; with running and dropped, the most programs running at once and the red lines
// about dropped runs.
void measureStorm(const QByteArray &program, Figure &answer, Figure *running = nullptr, Figure *dropped = nullptr)
{
    ClientSession session(program);
    QString error;
    if (!session.open(error)) {
        warn(answer.name, error);
        return;
    }
    for (int r = 0; r < Runs; ++r) {
        const ClientSession::Storm storm = session.storm(StormEvents, StormPerSecond, StormAskEvery, error);
        answer.runs.append(storm.longestAnswerMs);
        if (running && dropped) {
            running->runs.append(storm.mostRunning);
            dropped->runs.append(storm.droppedLines);
        }
    }
    if (!error.isEmpty())
        warn(answer.name, error);
}

// The storm once with a program on every event and once with one on no event, for the share
// of the answer time that is the machine's own.
void addStorm(QVector<Figure> &figures)
{
    Figure answer{ QStringLiteral("ask during program storm"), QStringLiteral("ms"), {}, 50, false };
    Figure running{ QStringLiteral("programs at once"), QString(), {}, 4, false };
    Figure dropped{ QStringLiteral("dropped-runs lines"), QString(), {}, 1, false };
    Figure idle{ QStringLiteral("ask during storm, no runs"), QStringLiteral("ms"), {}, 50, false };
    measureStorm(StormProgram, answer, &running, &dropped);
    measureStorm(IdleProgram, idle);
    figures << answer << running << dropped << idle;
}

void addProcesses(QVector<Figure> &figures)
{
    Figure memory{ QStringLiteral("memory"), QStringLiteral("MiB"), {}, 8, false };
    for (int r = 0; r < Runs; ++r)
        memory.runs.append(memoryGrowthMiB());

    Figure startUp{ QStringLiteral("start-up"), QStringLiteral("ms"), {}, 400, false };
    for (int r = 0; r < Runs; ++r) {
        QString error;
        startUp.runs.append(startUpMs(QStringLiteral(VELMAR_EXE), error));
        if (!error.isEmpty())
            warn(QStringLiteral("start-up"), error);
    }

    Figure toOne{ QStringLiteral("relay to 1"), QStringLiteral("events/s"), {}, 400e3, true };
    Figure toTen{ QStringLiteral("relay to 10"), QStringLiteral("events/s"), {}, 0, true };
    for (int r = 0; r < Runs; ++r) {
        QString error;
        toOne.runs.append(relayEventsPerSecond(QStringLiteral(STARS_RELAY), 1, RelayEventsToOne, error));
        toTen.runs.append(relayEventsPerSecond(QStringLiteral(STARS_RELAY), RelaySubscribers,
                                               RelayEventsToTen, error));
        if (!error.isEmpty())
            warn(QStringLiteral("relay"), error);
    }
    figures << memory << startUp << toOne << toTen;
}

// The child process of the play figures: prints the first and the later plays' milliseconds.
int playProbe(bool prepared, bool journal)
{
    QString error;
    const PlayTimes times = measurePlays(prepared, journal ? JournalKey : QByteArray(), error);
    if (!error.isEmpty())
        warn(QStringLiteral("plays"), error);
    std::printf("%f %f\n", times.firstMs, times.laterMs);
    return times.firstMs < 0 ? 1 : 0;
}

PlayTimes playsInNewProcess(bool prepared, bool journal = false)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QCoreApplication::applicationFilePath(), {PlayProbe, prepared ? QStringLiteral("prepared") : QStringLiteral("plain"),
                                                          journal ? JournalArgument : QString()});
    PlayTimes times;
    if (!probe.waitForFinished(-1) || probe.exitCode() != 0)
        return times;
    const QList<QByteArray> figures = probe.readAllStandardOutput().trimmed().split(' ');
    times.firstMs = figures.value(0).toDouble();
    times.laterMs = figures.value(1).toDouble();
    return times;
}

// Each run is a new process, whose first play is the first of the program. Against a private
// PulseAudio server where one can be started.
void addSound(QVector<Figure> &figures, int flaps)
{
    Figure plain{ QStringLiteral("first play, unprepared"), QStringLiteral("ms"), {}, 0, false };
    Figure first{ QStringLiteral("first play, prepared"), QStringLiteral("ms"), {}, 0, false };
    Figure later{ QStringLiteral("later plays, prepared"), QStringLiteral("ms"), {}, 0, false };
    Figure ratio{ QStringLiteral("first / later play"), QStringLiteral("x"), {}, FirstPlayRatio, false };
    {
        PulseServer pulse;
        startPrivateSound(pulse, QStringLiteral("plays"));
        for (int r = 0; r < Runs; ++r) {
            plain.runs.append(playsInNewProcess(false).firstMs);
            const PlayTimes times = playsInNewProcess(true);
            first.runs.append(times.firstMs);
            later.runs.append(times.laterMs);
            ratio.runs.append(times.firstMs < 0 || times.laterMs <= 0 ? -1 : times.firstMs / times.laterMs);
        }
    }
    figures << plain << first << later << ratio;

    Figure lost{ QStringLiteral("sound output lost noticed"), QStringLiteral("s"), {}, 2, false };
    Figure back{ QStringLiteral("sound output back noticed"), QStringLiteral("s"), {}, 2, false };
    Figure perChange{ QStringLiteral("lines per output change"), QStringLiteral("lines"), {}, 1, false };
    Figure files{ QStringLiteral("open files gained"), QStringLiteral("files"), {}, 0, false };
    QString error;
    const WatchRun run = measureWatch(flaps, error);
    if (!error.isEmpty())
        warn(QStringLiteral("sound watch"), error);
    lost.runs.append(run.lostSeconds);
    back.runs.append(run.backSeconds);
    figures << lost << back;
    if (flaps == 0)
        return;
    perChange.runs.append(run.linesPerChange);
    files.runs.append(run.filesAfter - run.filesBefore);
    figures << perChange << files;
}

// The time until the Hello ask behind 1,000 events that all match a row with a sound is
// answered: each event rings the row again.
void measureBurst(Figure &figure)
{
    ClientSession session(BurstRow);
    QString error;
    if (!session.open(error)) {
        warn(figure.name, error);
        return;
    }
    double gapMs = 0;
    for (int r = 0; r < Runs; ++r) {
        const qint64 ns = session.burst(BurstEvents, 1, gapMs, error);
        figure.runs.append(ns < 0 ? -1 : ns / 1e6);
    }
    if (!error.isEmpty())
        warn(figure.name, error);
}

// For each shape of a 1 MiB line, the time until the Hello ask behind it is answered, with the
// desks on and the debug lines on; the slowest shape counts.
void addLongLines(QVector<Figure> &figures)
{
    Figure slowest{ QStringLiteral("1 MiB lines, slowest answer"), QStringLiteral("ms"), {}, LongLineMs, false };
    ClientSession session(DeskConfig);
    QString error;
    if (!session.open(error)) {
        warn(slowest.name, error);
        figures << slowest;
        return;
    }
    withDebugLines([&] {
        for (int r = 0; r < Runs; ++r) {
            double longestMs = 0;
            for (const LongLineShape &shape : LongLineShapes) {
                session.sendForEachEvent(longLine(shape));
                double gapMs = 0;
                const qint64 ns = session.burst(1, 1, gapMs, error);
                if (ns < 0) {
                    longestMs = -1;
                    break;
                }
                longestMs = qMax(longestMs, ns / 1e6);
            }
            slowest.runs.append(longestMs);
        }
    });
    if (!error.isEmpty())
        warn(slowest.name, error);
    figures << slowest;
}

// With a private PulseAudio server where one can be started, then with none.
void addBurst(QVector<Figure> &figures)
{
    Figure served{ QStringLiteral("matching burst, sound server"), QStringLiteral("ms"), {}, BurstAnswerMs, false };
    Figure unserved{ QStringLiteral("matching burst, no server"), QStringLiteral("ms"), {}, BurstAnswerMs, false };
    {
        PulseServer pulse;
        startPrivateSound(pulse, served.name);
        measureBurst(served);
    }
    measureBurst(unserved);
    figures << served << unserved;
}

// The longest gap a 5 ms timer sees while a peer desk floods the client with acknowledgements
// of an alarm that rang before (the first acknowledges it), with the log window shown; and
// while as many events come that nothing takes, for what the receive loop costs by itself.
void addDesks(QVector<Figure> &figures)
{
    Figure paced{ QStringLiteral("desk acks at 10k/s, stall"), QStringLiteral("ms"), {}, 30, false };
    Figure burst{ QStringLiteral("desk acks at once, stall"), QStringLiteral("ms"), {}, 30, false };
    Figure othersPaced{ QStringLiteral("other events at 10k/s, stall"), QStringLiteral("ms"), {}, 0, false };
    Figure othersBurst{ QStringLiteral("other events at once, stall"), QStringLiteral("ms"), {}, 0, false };
    ClientSession session(DeskConfig);
    QString error;
    const auto flood = [&](const QByteArray &lines, Figure &pacedGap, Figure &burstGap) {
        session.sendForEachEvent(lines);
        pacedGap.runs.append(session.storm(DeskAcks, DeskAcksPerSecond, DeskAskEvery, error).longestGapMs);
        double gapMs = -1;
        session.burst(DeskAcks, 1, gapMs, error);
        burstGap.runs.append(gapMs);
    };
    if (!session.open(error)) {
        warn(paced.name, error);
    } else {
        session.showLog();
        for (int r = 0; r < Runs; ++r) {
            double gapMs = -1;
            session.sendForEachEvent(DeskAlarm);
            session.burst(1, 1, gapMs, error);
            flood(DeskAck, paced, burst);
            flood(DeskOther, othersPaced, othersBurst);
        }
        if (!error.isEmpty())
            warn(paced.name, error);
    }
    figures << paced << burst << othersPaced << othersBurst;
}

// The same figure with the journal off and on, in the same run.
void addJournalPlays(QVector<Figure> &figures)
{
    Figure off{ QStringLiteral("later plays, journal off"), QStringLiteral("ms"), {}, 0, false };
    Figure on{ QStringLiteral("later plays, journal on"), QStringLiteral("ms"), {}, 0, false };
    // A difference below zero is noise, and shows as 0.
    Figure cost{ QStringLiteral("journal's cost per play"), QStringLiteral("ms"), {}, JournalPlayCostMs, false };
    PulseServer pulse;
    startPrivateSound(pulse, QStringLiteral("plays"));
    for (int r = 0; r < JournalPlayRuns; ++r) {
        off.runs.append(playsInNewProcess(true).laterMs);
        on.runs.append(playsInNewProcess(true, true).laterMs);
        cost.runs.append(on.runs.last() < 0 || off.runs.last() < 0 ? -1 : qMax(0.0, on.runs.last() - off.runs.last()));
    }
    figures << off << on << cost;
}

// 100,000 events that all match a row, as fast as the server sends them; with the journal,
// how many of them it holds once it has caught up.
void addJournalStorm(QVector<Figure> &figures, const QString &journal)
{
    Figure off{ QStringLiteral("100k matching, journal off"), QStringLiteral("events/s"), {}, 0, true };
    Figure on{ QStringLiteral("100k matching, journal on"), QStringLiteral("events/s"), {}, JournalStormRate, true };
    Figure offStall{ QStringLiteral("stall, journal off"), QStringLiteral("ms"), {}, 0, false };
    Figure stall{ QStringLiteral("stall, journal on"), QStringLiteral("ms"), {}, 30, false };
    Figure kept{ QStringLiteral("events in the journal"), QString(), {}, JournalStormEvents, true };
    Figure lag{ QStringLiteral("journal caught up after"), QStringLiteral("ms"), {}, 0, false };
    for (bool withJournal : {false, true}) {
        ClientSession session(BurstRow + (withJournal ? "JOURNAL \"" + journal.toUtf8() + "\"\n" : QByteArray()));
        QString error;
        if (!session.open(error)) {
            warn(on.name, error);
            continue;
        }
        for (int r = 0; r < Runs; ++r) {
            const int before = withJournal ? journalEvents(journal) : 0;
            double gapMs = 0;
            const double perSecond = rate(JournalStormEvents, session.burst(JournalStormEvents, 1, gapMs, error));
            (withJournal ? on : off).runs.append(perSecond);
            (withJournal ? stall : offStall).runs.append(gapMs);
            if (!withJournal)
                continue;
            QElapsedTimer caughtUp;
            caughtUp.start();
            if (!QTest::qWaitFor([&] { return journalEvents(journal) - before >= JournalStormEvents; }, JournalWaitMs))
                warn(kept.name, QStringLiteral("the journal did not catch up"));
            lag.runs.append(caughtUp.elapsed());
            kept.runs.append(journalEvents(journal) - before);
        }
        if (!error.isEmpty())
            warn(on.name, error);
    }
    figures << off << on << offStall << stall << kept << lag;
}

// Start-up and the history window with a journal of a million entries over the last week.
void addLargeJournal(QVector<Figure> &figures, const QString &journal)
{
    Figure plain{ QStringLiteral("start-up, no journal"), QStringLiteral("ms"), {}, 0, false };
    Figure large{ QStringLiteral("start-up, 1M-entry journal"), QStringLiteral("ms"), {}, 1000, false };
    Figure hour{ QStringLiteral("history open, last hour"), QStringLiteral("ms"), {}, 500, false };
    Figure week{ QStringLiteral("history open, last week"), QStringLiteral("ms"), {}, 500, false };
    Figure filtered{ QStringLiteral("history, week, filter"), QStringLiteral("ms"), {}, 0, false };
    if (!writeLargeJournal(journal, LargeJournalEntries, LargeJournalDays)) {
        warn(large.name, QStringLiteral("cannot write the journal"));
        return;
    }
    for (int r = 0; r < Runs; ++r) {
        QString error;
        plain.runs.append(startUpMs(QStringLiteral(VELMAR_EXE), error));
        large.runs.append(startUpMs(QStringLiteral(VELMAR_EXE), error, "JOURNAL \"" + journal.toUtf8() + "\"\n"));
        if (!error.isEmpty())
            warn(large.name, error);
        hour.runs.append(historyOpenMs(journal, 0, QString()));
        week.runs.append(historyOpenMs(journal, 3, QString()));
        filtered.runs.append(historyOpenMs(journal, 3, QStringLiteral("Fault7")));
    }
    figures << plain << large << hour << week << filtered;
}

// kill -9 at a random moment of a storm, again and again on the same journal.
void addCrashes(QVector<Figure> &figures, const QString &journal)
{
    Figure intact{ QStringLiteral("crash: integrity check fails"), QString(), {}, 0, false };
    Figure missing{ QStringLiteral("crash: events missing"), QString(), {}, 0, false };
    Figure shown{ QStringLiteral("crash: events before the kill"), QString(), {}, 0, false };
    int failures = 0;
    for (int r = 0; r < CrashRuns; ++r) {
        QString error;
        const CrashRun run = crashRun(QStringLiteral(VELMAR_EXE), journal, CrashStormEvents, error);
        if (!error.isEmpty())
            warn(intact.name, error);
        failures += !run.intact;
        missing.runs.append(run.missing);
        shown.runs.append(run.shownBefore);
    }
    intact.runs.append(failures);
    figures << intact << missing << shown;
}

void addJournal(QVector<Figure> &figures)
{
    QTemporaryDir dir;
    addJournalPlays(figures);
    addJournalStorm(figures, dir.filePath(QStringLiteral("storm.db")));
    addLargeJournal(figures, dir.filePath(QStringLiteral("large.db")));
    addCrashes(figures, dir.filePath(QStringLiteral("crash.db")));
}

// `value` of each sample from the first million on.
QVector<double> settledValues(const QVector<SoakSample> &samples, const std::function<double(const SoakSample &)> &value)
{
    QVector<double> values;
    for (const SoakSample &sample : samples) {
        if (sample.events >= SoakSettledAfter)
            values.append(value(sample));
    }
    return values;
}

// The most that a value rose above its first.
double mostAboveFirst(const QVector<double> &values)
{
    return values.isEmpty() ? -1 : *std::max_element(values.cbegin(), values.cend()) - values.first();
}

// The fewest of the last samples above the fewest of the first: a program running at a sample
// holds a few descriptors for a moment, which is no growth.
double restingGain(const QVector<double> &values)
{
    const int window = int(qMin<qsizetype>(SoakRestingWindow, values.size()));
    if (window == 0)
        return -1;
    return *std::min_element(values.cend() - window, values.cend()) - *std::min_element(values.cbegin(), values.cbegin() + window);
}

// The soak of `events` events at `perSecond` at most, against the velmar and stars-relay
// programs; its samples print as it goes. False when an event went unaccounted for or a
// program did not end cleanly (a sanitizer's report among them), which it prints.
bool addSoak(QVector<Figure> &figures, qint64 events, int perSecond)
{
    QString error;
    const SoakRun run = runSoak(QStringLiteral(VELMAR_EXE), QStringLiteral(STARS_RELAY), events, perSecond,
                                qMin(SoakSampleEvery, qMax<qint64>(1, events / 10)), error);
    if (!error.isEmpty())
        warn(QStringLiteral("soak"), error);
    for (const QString &fault : run.faults)
        warn(QStringLiteral("soak"), fault);
    const double longest = run.answerMs.isEmpty() ? -1 : *std::max_element(run.answerMs.cbegin(), run.answerMs.cend());
    const auto off = [&run](qint64 counted, qint64 sent) { return counted < 0 ? -1.0 : double(qAbs(counted - sent)); };
    const QVector<Figure> soak {
        { QStringLiteral("soak: events"), QStringLiteral("events/s"), { run.eventsPerSecond }, 0, true },
        { QStringLiteral("soak: journal events off"), QString(), { off(run.journalEvents, run.sent) }, NoneAtAll, false },
        { QStringLiteral("soak: alarm counts off"), QString(), { off(run.commonAlarmCount, run.sent - run.sentRare)
                                                                 + off(run.rareAlarmCount, run.sentRare) }, NoneAtAll, false },
        { QStringLiteral("soak: program runs off"), QString(), { off(run.programRuns, run.sentRare) }, NoneAtAll, false },
        { QStringLiteral("soak: asks unanswered"), QString(), { double(run.asks - run.answerMs.size()) }, NoneAtAll, false },
        { QStringLiteral("soak: longest answer"), QStringLiteral("ms"), { longest }, SoakAnswerMs, false },
        { QStringLiteral("soak: answers over 50 ms"), QString(), { double(std::count_if(run.answerMs.cbegin(), run.answerMs.cend(),
                                                                                     [](double ms) { return ms > SoakAnswerMs; })) }, NoneAtAll, false },
        { QStringLiteral("soak: journal"), QStringLiteral("MiB"), { run.samples.isEmpty() ? -1 : run.samples.last().journalBytes / KiBPerMiB / KiBPerMiB }, 0, false },
        { QStringLiteral("soak: programs unclean"), QString(), { double(run.faults.size()) }, NoneAtAll, false },
    };
    figures << soak;
    if (events > SoakSettledAfter) {
        const auto settled = [&run](const std::function<double(const SoakSample &)> &value) {
            return settledValues(run.samples, value);
        };
        figures << Figure{ QStringLiteral("soak: memory growth"), QStringLiteral("MiB"),
                           { mostAboveFirst(settled([](const SoakSample &s) { return s.residentKiB / KiBPerMiB; })) }, SoakGrowthMiB, false }
                << Figure{ QStringLiteral("soak: descriptors gained"), QString(),
                           { restingGain(settled([](const SoakSample &s) { return s.descriptors; })) }, NoneAtAll, false }
                << Figure{ QStringLiteral("soak: threads gained"), QString(),
                           { restingGain(settled([](const SoakSample &s) { return s.threads; })) }, NoneAtAll, false };
    }
    return error.isEmpty() && run.faults.isEmpty() && std::all_of(soak.cbegin() + 1, soak.cbegin() + 4, passes);
}

// Needs root: the relay runs in a network namespace whose link is cut and mended.
void addLink(QVector<Figure> &figures)
{
    Figure dead{ QStringLiteral("dead link noticed"), QStringLiteral("s"), {}, 6, false };
    Figure path{ QStringLiteral("log-in after path back"), QStringLiteral("s"), {}, 3, false };
    Figure restart{ QStringLiteral("log-in after restart"), QStringLiteral("s"), {}, 2, false };
    Figure silent{ QStringLiteral("silent server dropped"), QStringLiteral("s"), {}, 6, false };
    for (int r = 0; r < Runs; ++r) {
        QString error;
        const LinkRun run = measureLink(QStringLiteral(STARS_RELAY), error);
        if (!error.isEmpty())
            warn(QStringLiteral("link"), error);
        dead.runs.append(run.deadLinkNoticed);
        path.runs.append(run.loggedInAfterPath);
        restart.runs.append(run.loggedInAfterRestart);
        silent.runs.append(run.silentServerDropped);
    }
    figures << dead << path << restart << silent;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(DebugOff);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(MemoryProbe))
        return memoryProbe();
    if (arguments.contains(PlayProbe))
        return playProbe(arguments.contains(QStringLiteral("prepared")), arguments.contains(JournalArgument));

    // --only lines|floods|log|burst|storm|desks|long|processes|sound|flap|link|journal|soak runs one
    // group of figures; link needs root, flap takes a minute, journal a few, soak up to an hour
    // (--soak-events N and --soak-rate N for another length or pace).
    const int only = arguments.indexOf(QStringLiteral("--only"));
    const QString group = only >= 0 ? arguments.value(only + 1) : QString();
    const int soakEvents = arguments.indexOf(QStringLiteral("--soak-events"));
    const int soakRate = arguments.indexOf(QStringLiteral("--soak-rate"));
    bool faultless = true;
    QVector<Figure> figures;
    if (group.isEmpty() || group == QLatin1String("lines"))
        addParseAndConfig(figures);
    if (group.isEmpty() || group == QLatin1String("floods"))
        addFloods(figures);
    if (group.isEmpty() || group == QLatin1String("log"))
        addShownLog(figures);
    if (group.isEmpty() || group == QLatin1String("burst"))
        addBurst(figures);
    if (group.isEmpty() || group == QLatin1String("storm"))
        addStorm(figures);
    if (group.isEmpty() || group == QLatin1String("desks"))
        addDesks(figures);
    if (group.isEmpty() || group == QLatin1String("long"))
        addLongLines(figures);
    if (group.isEmpty() || group == QLatin1String("processes"))
        addProcesses(figures);
    if (group.isEmpty() || group == QLatin1String("sound"))
        addSound(figures, 0);
    if (group == QLatin1String("flap"))
        addSound(figures, Flaps);
    if (group == QLatin1String("link"))
        addLink(figures);
    if (group == QLatin1String("journal"))
        addJournal(figures);
    if (group == QLatin1String("soak"))
        faultless = addSoak(figures, soakEvents >= 0 ? arguments.value(soakEvents + 1).toLongLong() : SoakEvents,
                            soakRate >= 0 ? arguments.value(soakRate + 1).toInt() : SoakPerSecond);
    printTable(figures);

    const bool allPass = std::all_of(figures.cbegin(), figures.cend(), passes);
    return !faultless || (arguments.contains(QStringLiteral("--strict")) && !allPass) ? 1 : 0;
}
