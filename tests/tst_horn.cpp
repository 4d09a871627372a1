#include <QtTest>
#include <QtWidgets>

#include "app/config.h"
#include "body/body.h"
#include "operator/commandrunner.h"
#include "operator/horn.h"
#include "operator/linkstatus.h"
#include "operator/traynotifier.h"
#include "scriptedserver.h"
#include "stars/amsg.h"
#include "stars/stars.h"
#include "support.h"

namespace {

const QByteArray HornKeys = "OPERATOR_BAR 1\nEVENT_HOLDOFF_MS 60000\nREPEAT_UNTIL_ACK 1\n";

// Every widget of the window by its path of object names, with its place in the window.
QMap<QString, QRect> places(QWidget &window)
{
    QMap<QString, QRect> result;
    const QList<QWidget *> widgets = window.findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        QString path;
        for (QObject *o = widget; o != &window; o = o->parent())
            path.prepend('/' + o->objectName());
        result.insert(path, QRect(widget->mapTo(&window, QPoint()), widget->size()));
    }
    return result;
}

// The program the runs start, in the working directory: it records its arguments,
// NUL-separated, in "run.PID", and does what its first argument asks.
const QByteArray Recorder = R"sh(#!/bin/sh
printf '%s\0' "$@" > run.$$
case "$1" in
hang) exec sleep 60 ;;
fail) printf 'first line\nsecond\n' >&2; exit 3 ;;
kill) kill -9 $$ ;;
esac
)sh";

// Every recorded run's arguments, joined by " ¦ ", in sorted order; a time reads hh:mm:ss.
QStringList recordedRuns()
{
    QStringList runs;
    for (const QString &name : QDir().entryList({"run.*"}, QDir::Files)) {
        QFile record(name);
        record.open(QIODevice::ReadOnly);
        const QByteArray bytes = record.readAll();
        const QString run = QString::fromUtf8(bytes.constData(), bytes.size()).chopped(1).replace(QChar(0), " ¦ ");
        runs << QString(run).replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "hh:mm:ss");
    }
    runs.sort();
    return runs;
}

// Waits until the runner has no program left.
bool settled(QObject *runner)
{
    return QTest::qWaitFor([runner] { return !runner || runner->findChildren<QProcess *>().isEmpty(); });
}

QString text(QWidget &window, const char *name)
{
    QWidget *widget = window.findChild<QWidget *>(name);
    auto *label = qobject_cast<QLabel *>(widget);
    return label ? label->text() : qobject_cast<QAbstractButton *>(widget)->text();
}

} // namespace

// The horn driven by a script on a clock of the test's own; the operator's bar and the rows'
// buttons in the main window; the tray icon's messages.
class TestHorn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void script_data();
    void script();
    void snoozeEndsByItself();
    void anyOrderOfControls();
    void keysAddOnlyTheBar();
    void barAndRowsFollowTheHorn();
    void trayFoldsEvents();
    void runs_data();
    void runs();
    void runLimits_data();
    void runLimits();
};

void TestHorn::initTestCase()
{
    static QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile("Zendri.key", "k0\n"));
    QVERIFY(writeWav("a.wav"));
    QVERIFY(writeFile("rec", Recorder));
    QVERIFY(QFile::setPermissions("rec", QFile::ReadOwner | QFile::ExeOwner));
}

void TestHorn::cleanup()
{
    config = Config();
    for (const QString &name : QDir().entryList({"run.*"}, QDir::Files))
        QFile::remove(name);
}


// Two rows, "A" and "B"; every event comes from Dev.
void TestHorn::script_data()
{
    QTest::addColumn<int>("holdoffMs");
    QTest::addColumn<bool>("repeat");
    // r: an event; m0: it matches row 0; e0: row 0 played to its end; c0: row 0's button;
    // s: Silence; M: Mute; S: Snooze 1 min; t500: 500 ms pass.
    QTest::addColumn<QString>("steps");
    // +0 start row 0, -0 stop it, h0:2 its held-back count, a0/A0 waits for or got its
    // acknowledgement, ! the link alarm silenced, [..] a log line; then the counters:
    // = received matched heldBack; *0 row 0 rang because of an event.
    QTest::addColumn<QString>("trace");

    QTest::newRow("plays every match") << 0 << false << "r m0 m1 r m0" << "*0 +0 *1 +1 *0 +0 = 2 2 0";
    QTest::newRow("silence stops, the next event sounds") << 0 << false << "r m0 s r m0" << "*0 +0 -0 -1 ! [Horn silenced] *0 +0 = 2 2 0";
    QTest::newRow("mute holds and logs each match") << 0 << false << "M r m0 m1 r m1 r"
        << "[Horn muted] -0 -1 [Muted: Dev Alarm for [A]] [Muted: Dev Alarm for [B]] [Muted: Dev Alarm for [B]] = 3 2 2";
    QTest::newRow("mute again unmutes") << 0 << false << "M M r m0" << "[Horn muted] -0 -1 [Horn unmuted] *0 +0 = 1 1 0";
    QTest::newRow("button blocked while muted") << 0 << false << "M c0" << "[Horn muted] -0 -1 [Muted: [A] not played] = 0 0 0";
    QTest::newRow("snooze clicked again ends") << 0 << false << "S r m0 S r m0"
        << "[Horn snoozed for 1 min] -0 -1 [Snoozed: Dev Alarm for [A]] [Snooze ended] *0 +0 = 2 2 1";
    QTest::newRow("snooze ends a mute") << 0 << false << "M S S" << "[Horn muted] -0 -1 [Horn snoozed for 1 min] -0 -1 [Snooze ended] = 0 0 0";
    QTest::newRow("hold-off counts, logs at the next start") << 1000 << false << "r m0 t400 r m0 t400 r m0 m1 t300 r m0"
        << "*0 +0 h0:1 h0:2 *1 +1 *0 [[A] held back 2 events since it last started] h0:0 +0 = 4 4 0";
    QTest::newRow("hold-off per row") << 1000 << false << "r m0 m1 t10 r m1 t1000 r m1"
        << "*0 +0 *1 +1 h1:1 *1 [[B] held back 1 event since it last started] h1:0 +1 = 3 3 0";
    QTest::newRow("repeat until acknowledged") << 0 << true << "r m0 e0 t5000 e0 c0 e0"
        << "a0 *0 +0 +0 +0 A0 -0 [[A] acknowledged 00:00:05 after its first ring] = 1 1 0";
    QTest::newRow("a button click plays once") << 0 << true << "c0 e0" << "+0 = 0 0 0";
    QTest::newRow("silence acknowledges") << 0 << true << "r m0 m1 s e0"
        << "a0 *0 +0 a1 *1 +1 -0 -1 A0 -0 [[A] acknowledged 00:00:00 after its first ring] A1 -1 [[B] acknowledged 00:00:00 after its first ring] ! [Horn silenced] = 1 1 0";
    QTest::newRow("mute stops repeats, unmute rings again") << 0 << true << "r m0 M e0 M e0"
        << "a0 *0 +0 [Horn muted] -0 -1 [Horn unmuted] +0 +0 = 1 1 0";
}

void TestHorn::script()
{
    QFETCH(int, holdoffMs);
    QFETCH(bool, repeat);
    QFETCH(QString, steps);
    QFETCH(QString, trace);
    qint64 now = 1000000;
    Horn horn({"A", "B"}, HornSettings {holdoffMs, repeat}, nullptr, [&now] { return now; });
    QStringList seen;
    connect(&horn, &Horn::startRow, this, [&](int row) { seen << QStringLiteral("+%1").arg(row); });
    connect(&horn, &Horn::stopRow, this, [&](int row) { seen << QStringLiteral("-%1").arg(row); });
    connect(&horn, &Horn::heldBackChanged, this, [&](int row, int n) { seen << QStringLiteral("h%1:%2").arg(row).arg(n); });
    connect(&horn, &Horn::waitingForAck, this, [&](int row, bool on) { seen << QStringLiteral("%1%2").arg(on ? 'a' : 'A').arg(row); });
    connect(&horn, &Horn::silenced, this, [&] { seen << "!"; });
    connect(&horn, &Horn::rang, this, [&](int row) { seen << QStringLiteral("*%1").arg(row); });
    connect(&horn, &Horn::log, this, [&](const QString &line) { seen << '[' + line + ']'; });

    for (const QString &step : steps.split(' ')) {
        const int arg = step.mid(1).toInt();
        switch (step.at(0).toLatin1()) {
        case 'r': horn.eventReceived(); break;
        case 'm': horn.rowMatched(arg, "Dev", "Alarm"); break;
        case 'e': horn.rowEnded(arg); break;
        case 'c': horn.buttonClicked(arg); break;
        case 's': horn.silence(); break;
        case 'M': horn.toggleMute(); break;
        case 'S': horn.toggleSnooze(60000); break;
        case 't': now += arg; break;
        }
    }
    const Horn::Counters c = horn.counters();
    QCOMPARE(seen.join(' ') + QStringLiteral(" = %1 %2 %3").arg(c.received).arg(c.matched).arg(c.heldBack), trace);
}

// A snooze ends by itself, says so, and rings the rows that still wait.
void TestHorn::snoozeEndsByItself()
{
    Horn horn({"A"}, HornSettings {0, true});
    QSignalSpy starts(&horn, &Horn::startRow);
    QSignalSpy lines(&horn, &Horn::log);
    horn.rowMatched(0, "Dev", "Alarm");
    horn.toggleSnooze(50);
    QCOMPARE(horn.quiet(), Horn::Quiet::Snoozed);
    QVERIFY(horn.snoozeRemainingMs() <= 50);
    QTRY_COMPARE(horn.quiet(), Horn::Quiet::Off);
    QCOMPARE(lines.last().at(0).toString(), QStringLiteral("Snooze ended"));
    QCOMPARE(starts.size(), 2);
}

// Controls clicked in any order while events arrive: nothing plays while the horn is quiet,
// and every event that matches while it is quiet gets its line.
void TestHorn::anyOrderOfControls()
{
    qint64 now = 0;
    Horn horn({"A", "B"}, HornSettings {500, true}, nullptr, [&now] { return now; });
    QSet<int> playing;
    int quietLines = 0;
    int quietMatches = 0;
    connect(&horn, &Horn::startRow, this, [&](int row) { playing.insert(row); });
    connect(&horn, &Horn::stopRow, this, [&](int row) { playing.remove(row); });
    connect(&horn, &Horn::log, this, [&](const QString &line) { quietLines += line.contains(": Dev Alarm for ["); });
    QRandomGenerator random(7);
    for (int i = 0; i < 20000; ++i) {
        const int row = random.bounded(2);
        switch (random.bounded(8)) {
        case 0:
            horn.eventReceived();
            quietMatches += horn.quiet() != Horn::Quiet::Off;
            horn.rowMatched(row, "Dev", "Alarm");
            break;
        case 1:
            if (playing.remove(row))
                horn.rowEnded(row);
            break;
        case 2: horn.buttonClicked(row); break;
        case 3: horn.silence(); break;
        case 4: horn.toggleMute(); break;
        case 5: horn.toggleSnooze(random.bounded(2) ? 60000 : 300000); break;
        default: now += random.bounded(1000); break;
        }
        if (horn.quiet() != Horn::Quiet::Off)
            QVERIFY2(playing.isEmpty(), qPrintable(QString::number(i)));
    }
    QCOMPARE(quietLines, quietMatches);
}

// Today's widgets keep their places and sizes; the window grows by the bar.
void TestHorn::keysAddOnlyTheBar()
{
    const QByteArray rows = "CONNECT_TO_STARS 0\nEVENT Alarm a.wav 50 Dev\nEVENT Ping a.wav\n";
    QVERIFY(loadConfig(rows));
    Body plain;
    plain.show();
    QVERIFY(loadConfig(rows + HornKeys + "TRAY 1\n"));
    Body operated;
    operated.show();

    QCOMPARE(operated.width(), plain.width());
    const QMap<QString, QRect> before = places(plain);
    const QMap<QString, QRect> after = places(operated);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(after.value(it.key()), it.value());
    for (const QString &path : after.keys())
        QVERIFY2(before.contains(path) || path.startsWith("/OperatorBar"), qPrintable(path));
}

void TestHorn::barAndRowsFollowTheHorn()
{
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "EVENT Alarm a.wav 50 Dev\n" + HornKeys));
    Body body;
    body.show();
    QApplication::setActiveWindow(&body);
    QVERIFY(QTest::qWaitForWindowActive(&body));
    acceptLogIn(server);
    QTRY_COMPARE(text(body, "LinkL"), QStringLiteral("logged in"));

    server.send("Dev>Zendri _Alarm\nDev>Zendri _Alarm\nDev>Zendri _Alarm\n");
    QTRY_COMPARE(text(body, "CountersL"), QStringLiteral("events 3 · matched 3 · held 0"));
    QCOMPARE(text(body, "Play"), QStringLiteral("Ack"));
    QCOMPARE(text(body, "Status"), QStringLiteral("×2"));

    QTest::keyClick(&body, Qt::Key_Escape);
    QCOMPARE(text(body, "Play"), QStringLiteral("Play"));
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Horn silenced"));

    QTest::keyClick(&body, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(body.findChild<QPushButton *>("MuteB")->isChecked());
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Muted: Dev Alarm for [Alarm]"));
    QCOMPARE(text(body, "CountersL"), QStringLiteral("events 4 · matched 4 · held 1"));
    body.findChild<QPushButton *>("Snooze5B")->click();
    QCOMPARE(text(body, "SnoozeL"), QStringLiteral("00:05:00 left"));
    QVERIFY(body.findChild<QPushButton *>("Snooze5B")->isChecked() && !body.findChild<QPushButton *>("MuteB")->isChecked());

    server.dropClient();
    QTRY_VERIFY(text(body, "LinkL").startsWith("down since "));
}

void TestHorn::trayFoldsEvents()
{
    QWidget window;
    window.setWindowTitle("Velmar");
    Stars stars;
    LinkStatus link(&stars, nullptr);
    TrayNotifier tray(&window, &link, 100);
    QSignalSpy messages(&tray, &TrayNotifier::notified);

    for (const char *event : {"Alarm", "Fire", "Smoke", "Flood"})
        tray.eventMatched("Dev", event);
    QCOMPARE(messages.size(), 1);
    QVERIFY(tray.icon().toolTip().startsWith("Dev: Flood "));
    QTRY_COMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("Dev: Alarm"));
    QCOMPARE(messages.at(1).at(0).toString(), QStringLiteral("Dev: Flood (and 2 more)"));
    QVERIFY(!tray.icon().icon().isNull());
}

void TestHorn::runs_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<bool>("muted");
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QStringList>("runs");

    const QByteArray text = "RUN_ON_EVENT Alarm ./rec \"%text\"\n";
    const QByteArray both = "EVENT Alarm a.wav 50 Dev\nRUN_ON_RING ./rec ring \"%row\" %sender\nRUN_ON_EVENT \"Fire Alarm\" ./rec event %event\n";
    const QByteArray twice = "Dev>Zendri _Alarm\nDev>Zendri _Alarm\n";
    QTest::newRow("no keys") << QByteArray("EVENT Alarm a.wav 50\n") << false << twice << QStringList();
    QTest::newRow("placeholders") << QByteArray("RUN_ON_EVENT \" Alarm \" ./rec \"%sender: %event\" \"%text\" [%row] %time 100%% %%text %x %\n")
        << false << QByteArray("Dev>Zendri _Alarm high  3\n") << QStringList {"Dev: Alarm ¦ high 3 ¦ [] ¦ hh:mm:ss ¦ 100% ¦ %text ¦ %x ¦ %"};
    QTest::newRow("shell syntax") << text << false << QByteArray("Dev>Zendri _Alarm '; touch pwned; '\nDev>Zendri _Alarm $(touch pwned)\nDev>Zendri _Alarm `touch pwned` | touch pwned && touch pwned\n")
        << QStringList {"$(touch pwned)", "'; touch pwned; '", "`touch pwned` | touch pwned && touch pwned"};
    QTest::newRow("control characters, a next-line, invalid UTF-8") << text << false << QByteArray("Dev>Zendri _Alarm a\x01" "b\x1b[1mc\xc2\x85" "d\x7f \xff\xfeok\n")
        << QStringList {"a b [1mc d  \uFFFD\uFFFDok"};
    QTest::newRow("1 MiB, cut before a surrogate pair") << text << false << "Dev>Zendri _Alarm " + QByteArray(1 << 20, 'x') + "\nDev>Zendri _Alarm " + QByteArray(1023, 'x') + "\xf0\x9f\x98\x80\n"
        << QStringList {QString(1023, 'x'), QString(1024, 'x')};
    QTest::newRow("placeholders in the texts") << QByteArray("RUN_ON_EVENT Alarm ./rec %sender/%text\n") << false
        << QByteArray("Dev%sender>Zendri _Alarm %text %% %row\n") << QStringList {"Dev%sender/%text %% %row"};
    QTest::newRow("without the horn the row rings") << both << false << twice + "Other>Zendri _Alarm\nDev>Zendri _Ping\nOps>Zendri _Fire\n"
        << QStringList {"event ¦ Alarm", "event ¦ Alarm", "event ¦ Alarm", "event ¦ Fire", "ring ¦ Alarm ¦ Dev", "ring ¦ Alarm ¦ Dev"};
    QTest::newRow("muted: no ring, the event runs") << both + "OPERATOR_BAR 1\n" << true << twice << QStringList {"event ¦ Alarm", "event ¦ Alarm"};
    QTest::newRow("held off: one ring") << both + "EVENT_HOLDOFF_MS 60000\n" << false << twice << QStringList {"event ¦ Alarm", "event ¦ Alarm", "ring ¦ Alarm ¦ Dev"};
}

// Each argument reaches the program as one literal argument, and no shell ever sees it.
void TestHorn::runs()
{
    QFETCH(QByteArray, keys);
    QFETCH(bool, muted);
    QFETCH(QByteArray, events);
    QFETCH(QStringList, runs);
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + keys));
    Body body;
    if (muted)
        body.findChild<QPushButton *>("MuteB")->click();
    QVERIFY(acceptLogIn(server, events + "Dev>Zendri Hello\n", 1).endsWith(" Nice to meet you!\n"));
    auto *runner = body.findChild<CommandRunner *>();
    QCOMPARE(runner != nullptr, keys.contains("RUN_"));
    QVERIFY(settled(runner));
    QCOMPARE(recordedRuns(), runs);
    QVERIFY(!QFile::exists("pwned"));
}

void TestHorn::runLimits_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("ran");
    QTest::addColumn<QString>("line");

    QTest::newRow("4 run, 64 wait") << "Alarm ./rec" << 30000 << 70 << 68 << "Dropped 2 runs of programs on events: at most 4 run at once and 64 wait";
    QTest::newRow("exit status") << "Alarm ./rec fail" << 30000 << 2 << 2 << "[./rec] failed: exit status 3: first line";
    QTest::newRow("signal") << "Alarm ./rec kill" << 30000 << 2 << 2 << "[./rec] failed: ended by signal 9";
    QTest::newRow("time-out") << "Alarm ./rec hang" << 300 << 2 << 2 << "[./rec] failed: still running after 0.3 s: killed";
    QTest::newRow("missing program") << "Alarm ./missing" << 30000 << 2 << 0 << "[./missing] failed: could not start: execvp: No such file or directory";
}

// No more than 4 programs at once, the rest wait or are dropped with one line once the queue
// has emptied; an entry that fails twice gives one line.
void TestHorn::runLimits()
{
    QFETCH(QString, entry);
    QFETCH(int, timeoutMs);
    QFETCH(int, events);
    QFETCH(int, ran);
    QFETCH(QString, line);
    RunSettings settings;
    settings.onEvent << EventCommand::fromEntry(entry, true);
    settings.timeoutMs = timeoutMs;
    CommandRunner runner(settings);
    QSignalSpy lines(&runner, &CommandRunner::log);
    AMsg alarm;
    alarm.parse("Dev>Zendri _Alarm");
    for (int i = 0; i < events; ++i)
        runner.eventReceived(alarm);
    QCOMPARE(runner.findChildren<QProcess *>().size(), qMin(events, 4));
    QVERIFY(settled(&runner));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.at(0).at(0).toString(), line);
    QCOMPARE(lines.at(0).at(1).value<QColor>(), QColor(200, 0, 0));
    QCOMPARE(recordedRuns().size(), ran);
}

QTEST_MAIN(TestHorn)
#include "tst_horn.moc"
