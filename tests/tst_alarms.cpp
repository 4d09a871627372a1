#include <QtTest>
#include <QtWidgets>

#include "alarm/alarmmodel.h"
#include "app/config.h"
#include "body/body.h"
#include "debugcapture.h"
#include "operator/alarmlist.h"
#include "operator/commandrunner.h"
#include "operator/linkstatus.h"
#include "operator/traynotifier.h"
#include "scriptedserver.h"
#include "sound/sound.h"
#include "sound/soundwatch.h"
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

// The program the runs start, in the working directory: it appends its arguments to "runs" as
// one line in one write, separated by \1 characters, and does what its first argument asks.
const QByteArray Recorder = R"sh(#!/bin/sh
IFS=$(printf '\1')
printf '%s\n' "$*" >> runs
case "$1" in
hang) exec sleep 60 ;;
fail) printf 'first line\nsecond\n' >&2; exit 3 ;;
kill) kill -9 $$ ;;
esac
)sh";

// Every recorded run's arguments, joined by " ¦ ", in sorted order; a time reads hh:mm:ss.
QStringList recordedRuns()
{
    QFile record("runs");
    record.open(QIODevice::ReadOnly);
    QStringList runs = QString::fromUtf8(record.readAll()).replace(QChar(1), " ¦ ").replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "hh:mm:ss").split('\n');
    runs.removeLast();
    runs.sort();
    return runs;
}

// The text of a label or a button.
QString text(QWidget &window, const char *name)
{
    return window.findChild<QWidget *>(name)->property("text").toString();
}

// The alarm model with its alarm list and the sound watch, driven by a script on a clock of the
// test's own, rows "A" and "B". Steps: e01 an event from Dev, Alarm, that matched rows 0 and 1
// (e alone: none; e0:Ops:Fire another sender and word); p0 row 0 played to its end; n0:X it
// was not heard for X; c0 row 0's button; s Silence; M Mute; S Snooze 1 min; qM, qS and qO the
// horn set to muted, snoozed for 1 min and off; f0 shelve row 0
// for 15 min; F0 until unshelved; u0 unshelve it; k0 the list's Ack on its line 0; K Ack all;
// O:S the output S found, L:X lost for X (an underscore stands for a blank), B back; t500
// 500 ms pass; x0 row 0's held-back count, written x2.
struct AlarmScript
{
    static constexpr qint64 Epoch = 1700000000000;

    qint64 now = 0;
    AlarmModel model;
    AlarmList list;
    SoundWatch watch;
    // 0R(event) row 0 ringing because of an event (N normal, U unacknowledged, A acknowledged,
    // S shelved; ! not heard), +0 start row 0, -0 stop it, *0:Dev Alarm the ring programs run
    // for it with those facts, ! the link alarm silenced, [..] a log line.
    QStringList seen;

    explicit AlarmScript(const AlarmSettings &settings)
        : model({"A", "B"}, settings, nullptr, {[this] { return now; }, [this] { return Epoch + now; }})
        , list(&model)
        , watch(&model, nullptr)
    {
        QObject::connect(&model, &AlarmModel::rowChanged, &model, [this](const AlarmTransition &t) {
            seen << QStringLiteral("%1%2%3(%4)").arg(t.row).arg(alarmStateWord(t.after.state).at(0).toUpper())
                        .arg(t.after.notHeard ? "!" : "", t.causeText().replace(localOperator(), "me"));
        });
        QObject::connect(&model, &AlarmModel::startRow, &model, [this](const Ring &ring) { seen << QStringLiteral("+%1").arg(ring.row); });
        QObject::connect(&model, &AlarmModel::stopRow, &model, [this](int row) { seen << QStringLiteral("-%1").arg(row); });
        QObject::connect(&model, &AlarmModel::rang, &model, [this](const Ring &ring) { seen << QStringLiteral("*%1:%2 %3").arg(ring.row).arg(ring.sender, ring.event); });
        QObject::connect(&model, &AlarmModel::silenced, &model, [this] { seen << "!"; });
        QObject::connect(&model, &AlarmModel::log, &model, [this](const QString &line) { seen << '[' + line + ']'; });
        QObject::connect(&watch, &SoundWatch::log, &model, [this](const QString &line) { seen << '[' + line + ']'; });
    }

    void run(const QString &steps)
    {
        for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
            const QStringList part = step.split(':');
            const QString word = part.value(1).replace('_', ' ');
            const int arg = step.mid(1, 1).toInt();
            switch (step.at(0).toLatin1()) {
            case 'e': event(part.at(0).mid(1), part.value(1, "Dev"), part.value(2, "Alarm")); break;
            case 'p': model.played(arg); break;
            case 'n': model.notHeard(arg, word); break;
            case 'c': model.click(arg); break;
            case 's': model.silence(); break;
            case 'M': model.toggleMute(); break;
            case 'S': model.toggleSnooze(60000); break;
            case 'q': model.setQuietTo(step.at(1) == 'M' ? AlarmModel::Quiet::Muted : step.at(1) == 'S' ? AlarmModel::Quiet::Snoozed : AlarmModel::Quiet::Off, 60000); break;
            case 'f': model.shelve(arg, 15 * 60000); break;
            case 'F': model.shelve(arg, AlarmModel::UntilUnshelved); break;
            case 'u': model.unshelve(arg); break;
            case 'k': list.acknowledge({arg}); break;
            case 'K': list.acknowledgeAll(); break;
            case 'O': watch.setOutput({SoundOutput::State::Usable, word}); break;
            case 'L': watch.setOutput({SoundOutput::State::Lost, word}); break;
            case 'B': watch.setOutput({SoundOutput::State::Usable, "S"}); break;
            case 't': now += step.mid(1).toInt(); break;
            case 'x': seen << QStringLiteral("x%1").arg(model.row(arg).heldBack); break;
            }
        }
    }

    void event(const QString &rows, const QString &sender, const QString &word)
    {
        AlarmEvent event {sender, word, {}, Epoch + now, {}};
        for (const QChar row : rows)
            event.rows << row.digitValue();
        model.takeEvent(event);
    }

    // What was seen, then the counters: = received matched muted heldBack.
    QString trace() const
    {
        const AlarmModel::Counters c = model.counters();
        return seen.join(' ') + QStringLiteral(" = %1 %2 %3 %4").arg(c.received).arg(c.matched).arg(c.muted).arg(c.heldBack);
    }

    // The list's lines in their order: events, state, count.
    QString listed() const
    {
        QStringList lines;
        for (int line = 0; line < list.rowCount(); ++line) {
            const auto cell = [&](int column) { return list.data(list.index(line, column)).toString(); };
            lines << cell(AlarmList::EventsColumn) + ' ' + cell(AlarmList::StateColumn) + ' ' + cell(AlarmList::CountColumn);
        }
        return lines.join(", ");
    }
};

} // namespace

// The alarm model driven by a script on a clock of the test's own; the operator's bar and the
// rows' buttons in the main window; the tray icon's messages; the programs run on events.
class TestAlarms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void script_data();
    void script();
    void timersEndByThemselves();
    void keysAddOnlyTheBar_data();
    void keysAddOnlyTheBar();
    void barAndRowsFollowTheHorn();
    void trayFoldsEvents();
    void runs_data();
    void runs();
};

void TestAlarms::initTestCase()
{
    static QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile("Zendri.key", "k0\n"));
    QVERIFY(writeWav("a.wav"));
    QVERIFY(writeFile("rec", Recorder));
    QVERIFY(QFile::setPermissions("rec", QFile::ReadOwner | QFile::ExeOwner));
}

void TestAlarms::cleanup()
{
    config = Config();
    QFile::remove("runs");
}

// The steps and the trace as AlarmScript reads and writes them: silence, mute, snooze, hold-off,
// repeat until acknowledged, shelves, critical rows, the sound output, the alarm list.
void TestAlarms::script_data()
{
    QTest::addColumn<int>("holdoffMs");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QString>("critical");
    QTest::addColumn<QString>("steps");
    // The trace after the configuration's debug lines in braces.
    QTest::addColumn<QString>("trace");
    // The list's lines after the script.
    QTest::addColumn<QString>("list");

    const QString rang = "R(event) +0 *0:Dev Alarm", rangB = "R(event) +1 *1:Dev Alarm";
    QTest::newRow("mute holds and logs each match, waits from the first") << 0 << false << "" << "M e01 e1 e t2000 k0"
        << "[Horn muted] -0 -1 [Muted: Dev Alarm for [A]] 0U(event) [Muted: Dev Alarm for [B]] 1U(event) [Muted: Dev Alarm for [B]] 1U(event) "
           "[[A] acknowledged 00:00:02 after its first ring] 0A(ack by me) -0 = 3 2 2 0"
        << "B held while muted 2, A acknowledged 1";
    QTest::newRow("snooze ends a mute, clicked again ends, then snoozes again") << 0 << false << "" << "M S e0 S e0 S"
        << "[Horn muted] -0 -1 [Horn snoozed for 1 min] -0 -1 [Snoozed: Dev Alarm for [A]] 0U(event) [Snooze ended] 0" + rang
               + " [Horn snoozed for 1 min] -0 -1 0U(snooze) = 2 2 1 0"
        << "A waiting for acknowledgement 2";
    QTest::newRow("horn set: the same again changes nothing but a snooze, which starts anew") << 0 << false << "" << "qM qM e0 qS t50000 qS t50000 e1 qO qO"
        << "[Horn muted] -0 -1 [Muted: Dev Alarm for [A]] 0U(event) [Horn snoozed for 1 min] -0 -1 [Horn snoozed for 1 min] -0 -1 "
               "[Snoozed: Dev Alarm for [B]] 1U(event) [Snooze ended] = 2 2 2 0"
        << "B held while muted 1, A held while muted 1";
    QTest::newRow("hold-off counts, logs at the next start") << 1000 << false << "" << "e0 t400 e0 t400 e01 x0 t300 e0 x0"
        << "0" + rang + " 0R(event) 0R(event) 1" + rangB + " x2 [[A] held back 2 events since it last started] 0" + rang + " x0 = 4 4 0 2"
        << "A ringing 4, B ringing 1";
    QTest::newRow("held-back lines at most every 10 s") << 30000 << false << ""
        << "e0 t500 e0 t10000 e0 t10000 e0 t9500 e0 t10000 e0 t30000 e0 t500 e0 t10000 e0"
        << "0" + rang + " 0R(event) [[A] held back 1 event since it last started] 0R(event) [[A] held back 1 more event] 0R(event) 0" + rang
               + " [[A] held back 1 more event] 0R(event) [[A] held back 1 more event] 0" + rang
               + " 0R(event) [[A] held back 1 event since it last started] 0R(event) = 9 9 0 6"
        << "A ringing 9";
    QTest::newRow("repeat until acknowledged") << 0 << true << "" << "e0 p0 t5000 p0 c0 p0"
        << "0" + rang + " 0R(repeat) +0 0R(repeat) +0 [[A] acknowledged 00:00:05 after its first ring] 0A(ack by me) -0 = 1 1 0 0"
        << "A acknowledged 1";
    QTest::newRow("a button click plays once, not while muted") << 0 << true << "" << "c0 p0 M c0"
        << "+0 [Horn muted] -0 -1 [Muted: [A] not played] = 0 0 0 0" << "";
    QTest::newRow("silence acknowledges, the next event sounds") << 0 << true << "" << "e01 s p0 e0"
        << "0" + rang + " 1" + rangB + " -0 -1 [[A] acknowledged 00:00:00 after its first ring] 0A(silence by me) -0 "
               "[[B] acknowledged 00:00:00 after its first ring] 1A(silence by me) -1 ! [Horn silenced] 0" + rang + " = 2 2 0 0"
        << "A ringing 2, B acknowledged 1";
    QTest::newRow("mute stops repeats, unmute rings again") << 0 << true << "" << "e0 M p0 M p0"
        << "0" + rang + " [Horn muted] -0 -1 0U(mute) [Horn unmuted] 0R(unmute) +0 0R(repeat) +0 = 1 1 0 0" << "A ringing 1";
    QTest::newRow("shelve stops, acknowledges, logs each match and click") << 0 << true << "" << "e0 f0 e01 c0"
        << "0" + rang + " [[A] acknowledged 00:00:00 after its first ring] 0A(shelve by me) -0 [[A] shelved for 15 min] 0S(shelve) "
               "[Shelved: Dev Alarm for [A]] 0S(event) 1" + rangB + " [Shelved: [A] not played] = 2 2 0 0"
        << "B ringing 1, A shelved 2";
    QTest::newRow("a timed shelf ends") << 0 << true << "" << "f0 t899000 e0 t1000 e0"
        << "-0 [[A] shelved for 15 min] 0S(shelve) [Shelved: Dev Alarm for [A]] 0S(event) [[A] shelf ended] 0A(shelf end) 0" + rang + " = 2 2 0 0"
        << "A ringing 2";
    QTest::newRow("unshelve") << 0 << true << "" << "F0 t3723000 e0 u0 e0"
        << "-0 [[A] shelved until unshelved] 0S(shelve) [Shelved: Dev Alarm for [A]] 0S(event) [[A] unshelved after 01:02:03] 0A(unshelve) 0" + rang
               + " = 2 2 0 0"
        << "A ringing 2";
    QTest::newRow("critical rings through mute and snooze") << 0 << true << "Alarm B" << "M e01 p1 S p1 c1"
        << "{CRITICAL_EVENTS [Alarm] names no row's event} [Horn muted] -0 [Muted: Dev Alarm for [A]] 0U(event) 1" + rangB
               + " 1R(repeat) +1 [Horn snoozed for 1 min] -0 1R(repeat) +1 [[B] acknowledged 00:00:00 after its first ring] 1A(ack by me) -1 = 1 1 1 0"
        << "A held while muted 1, B acknowledged 1";
    QTest::newRow("a shelf without events ends normal; critical cannot be shelved, silence stops it") << 0 << true << "B" << "F0 u0 f1 M e1 s"
        << "-0 [[A] shelved until unshelved] 0S(shelve) [[A] unshelved after 00:00:00] 0N(unshelve) [Horn muted] -0 1" + rangB + " -0 -1 [[B] acknowledged 00:00:00 after its first ring] 1A(silence by me) -1 ! [Horn silenced] = 1 1 0 0"
        << "B acknowledged 1";
    QTest::newRow("critical hold-off still counts") << 1000 << true << "B" << "M e1 t100 e1"
        << "[Horn muted] -0 1" + rangB + " 1R(event) = 2 2 0 1" << "B ringing 2";
    QTest::newRow("unacknowledged first, newest first; a ring not heard once") << 0 << true << ""
        << "e0 t1000 e1 p1 k0 t1000 e0 n0:X n0:X t1000 M e1"
        << "0" + rang + " 1" + rangB + " 1R(repeat) +1 [[B] acknowledged 00:00:00 after its first ring] 1A(ack by me) -1 0" + rang
               + " [Could not sound [A] for Dev Alarm: X] 0U!(not heard: X) [Horn muted] -0 -1 [Muted: Dev Alarm for [B]] 1U(event) = 4 4 1 0"
        << "B held while muted 2, A not heard 2";
    QTest::newRow("ack all, then kept for an hour") << 0 << true << "" << "e0 e1 K t3599000 e1 K t1000 e t3599000 e"
        << "0" + rang + " 1" + rangB + " [[A] acknowledged 00:00:00 after its first ring] 0A(ack all by me) -0 "
               "[[B] acknowledged 00:00:00 after its first ring] 1A(ack all by me) -1 1" + rangB
               + " -0 [[B] acknowledged 00:00:00 after its first ring] 1A(ack all by me) -1 0N(expired) 1N(expired) = 5 3 0 0"
        << "";
    QTest::newRow("output found, another device, the same again, lost for two reasons, back") << 0 << false << ""
        << "O:Speakers O:Headphones O:Headphones L:no_device L:no_sound_server O:Headphones"
        << "[Sound output: Speakers] [Sound output: Headphones] [Sound output lost: no device] [Sound output is back after 00:00:00] = 0 0 0 0" << "";
    QTest::newRow("not heard stays through a repeat, a snooze's end and a ring when back, until heard") << 0 << true << ""
        << "L:X e0 p0 S S B p0"
        << "[Sound output lost: X] 0" + rang + " [Could not sound [A] for Dev Alarm: X] 0U!(not heard: X) [Horn snoozed for 1 min] -0 -1 "
               "[Snooze ended] 0R!(snooze end) +0 [Could not sound [A] for Dev Alarm: X] 0U!(not heard: X) 0R!(sound back) +0 *0:Dev Alarm "
               "[Sound output is back after 00:00:00; ringing 1 alarm not heard meanwhile] 0R(heard) 0R(repeat) +0 = 1 1 0 0"
        << "A ringing 1";
    QTest::newRow("lost while one plays; when back each rings with its own facts; a click unmarks") << 0 << false << ""
        << "O:S e0 L:X e1:Ops:Fire e:Ops:Other B c1 p1"
        << "[Sound output: S] 0" + rang + " [Sound output lost: X] [Could not sound [A] for Dev Alarm: X] 0U!(not heard: X) 1R(event) +1 *1:Ops Fire "
               "[Could not sound [B] for Ops Fire: X] 1U!(not heard: X) 0R!(sound back) +0 *0:Dev Alarm 1R!(sound back) +1 *1:Ops Fire "
               "[Sound output is back after 00:00:00; ringing 2 alarms not heard meanwhile] 1R(click) +1 1U(heard) = 3 2 0 0"
        << "A not heard 1, B waiting for acknowledgement 1";
}

void TestAlarms::script()
{
    QFETCH(int, holdoffMs);
    QFETCH(bool, repeat);
    QFETCH(QString, critical);
    QFETCH(QString, steps);
    QFETCH(QString, trace);
    QFETCH(QString, list);
    const DebugCapture debug("velmar.config");
    AlarmScript script(AlarmSettings {holdoffMs, repeat, critical.split(' ', Qt::SkipEmptyParts)});
    QAbstractItemModelTester tester(&script.list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    script.run(steps);
    QStringList seen = debug.lines;
    QCOMPARE((seen.replaceInStrings(QRegularExpression("^(.*)$"), "{\\1}") << script.trace()).join(' '), trace);
    QCOMPARE(script.listed(), list);
}

// A snooze and a shelf end by themselves and say so; the snooze's end rings the rows that
// still wait; a held-back event gets its line when no start comes.
void TestAlarms::timersEndByThemselves()
{
    AlarmModel alarms({"A", "B"}, AlarmSettings {60000, true, {}, 50});
    QSignalSpy starts(&alarms, &AlarmModel::startRow);
    QStringList lines;
    connect(&alarms, &AlarmModel::log, this, [&lines](const QString &line) { lines << line; });
    alarms.takeEvent({"Dev", "Alarm", {}, 0, {0}});
    alarms.takeEvent({"Dev", "Alarm", {}, 0, {0}});
    alarms.shelve(1, 50);
    alarms.toggleSnooze(50);
    QTRY_COMPARE(lines.filter(QRegularExpression("ended|held back")).size(), 3);
    QVERIFY(lines.contains("Snooze ended") && lines.contains("[B] shelf ended"));
    QVERIFY(lines.contains("[A] held back 1 event since it last started"));
    QCOMPARE(starts.size(), 2);
}

void TestAlarms::keysAddOnlyTheBar_data()
{
    QTest::addColumn<QByteArray>("keys");
    // The paths of the widgets that the keys add, and of those that may change their width or
    // move sideways to make room for them (whether the window grows wider for "Alarms" depends
    // on the font).
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("sideways");

    QTest::newRow("without the keys") << QByteArray("UNKNOWN_KEY 1\n") << "^$" << "^$";
    QTest::newRow("bar, hold-off, repeat, tray, desks") << HornKeys + "TRAY 1\nDESKS Zendri2\n" << "^/OperatorBar|/Sound/MenuB$" << "/Sound/";
    QTest::newRow("alarm list, critical") << QByteArray("ALARM_LIST 1\nCRITICAL_EVENTS Ping\n") << "^/frame/ShowAlarms$" << ".";
    QTest::newRow("alarm list and journal") << QByteArray("ALARM_LIST 1\nJOURNAL j.db\n") << "^/frame/Show(Alarms|History)$" << ".";
    QTest::newRow("notifications, D-Bus, one instance") << QByteArray("NOTIFY 1\nDBUS 1\nSINGLE_INSTANCE 1\n") << "^$" << "^$";
}

// Today's widgets keep their places and sizes, but for room made beside them; the window grows
// by the bar below the rows and by "Alarms" beside "Log".
void TestAlarms::keysAddOnlyTheBar()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, added);
    QFETCH(QString, sideways);
    const QByteArray rows = "CONNECT_TO_STARS 0\nEVENT Alarm a.wav 50 Dev\nEVENT Ping a.wav\n";
    QVERIFY(loadConfig(rows));
    Body plain;
    plain.show();
    QVERIFY(loadConfig(rows + keys));
    Body operated;
    operated.show();

    QVERIFY(operated.width() >= plain.width());
    const QMap<QString, QRect> before = places(plain);
    const QMap<QString, QRect> after = places(operated);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QRect place = after.value(it.key());
        if (QRegularExpression(sideways).match(it.key()).hasMatch())
            QVERIFY2(place.top() == it->top() && place.height() == it->height(), qPrintable(it.key()));
        else
            QCOMPARE(place, it.value());
    }
    for (const QString &path : after.keys())
        QVERIFY2(before.contains(path) || QRegularExpression(added).match(path).hasMatch(), qPrintable(path));
}

void TestAlarms::barAndRowsFollowTheHorn()
{
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "EVENT Alarm a.wav 50 Dev\n" + HornKeys + "ALARM_LIST 1\n"));
    Body body;
    body.show();
    QApplication::setActiveWindow(&body);
    QVERIFY(QTest::qWaitForWindowActive(&body));
    QCOMPARE(text(body, "LinkL"), QStringLiteral("connecting"));
    acceptLogIn(server);
    QTRY_COMPARE(text(body, "LinkL"), QStringLiteral("logged in"));

    server.send("Dev>Zendri _Alarm\nDev>Zendri _Alarm\nDev>Zendri _Alarm\nDev>Zendri _Other\n");
    QTRY_COMPARE(text(body, "CountersL"), QStringLiteral("events 4 · matched 3 · muted 0 · held back 2"));
    QCOMPARE(text(body, "Play"), QStringLiteral("Ack"));
    QCOMPARE(text(body, "Status"), QStringLiteral("×2"));
    // A ring not heard marks the same button, over its Ack.
    AlarmRow notHeard;
    notHeard.state = AlarmState::Ringing;
    notHeard.notHeard = true;
    body.findChild<Sound *>()->showAlarm(notHeard, true);
    QCOMPARE(text(body, "Play"), QStringLiteral("Not heard"));

    // Silence stops the sound at once.
    const SoundPlayer &player = body.findChild<Sound *>()->player();
    QTRY_COMPARE(player.state(), SoundPlayer::PlayingState);
    QTest::keyClick(&body, Qt::Key_Escape);
    QCOMPARE(player.state(), SoundPlayer::StoppedState);
    QTRY_COMPARE(text(body, "Play"), QStringLiteral("Play"));
    QCOMPARE(text(body, "Status"), QStringLiteral("×2"));
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Horn silenced"));

    QTest::keyClick(&body, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(body.findChild<QPushButton *>("MuteB")->isChecked());
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Muted: Dev Alarm for [Alarm]"));
    QTRY_COMPARE(text(body, "CountersL"), QStringLiteral("events 5 · matched 4 · muted 1 · held back 2"));
    body.findChild<QPushButton *>("Snooze5B")->click();
    QCOMPARE(text(body, "SnoozeL"), QStringLiteral("00:05:00 left"));
    QVERIFY(body.findChild<QPushButton *>("Snooze5B")->isChecked() && !body.findChild<QPushButton *>("MuteB")->isChecked());

    // Shelved from its menu button, the row shows its shelf and logs its events; the alarm list
    // shows it; unshelved, it shows its held-back count again.
    const auto choose = [&body](const QString &entry) {
        QTest::mouseClick(body.findChild<QToolButton *>("MenuB"), Qt::LeftButton);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction *action : menu->actions())
            if (action->text() == entry)
                action->trigger();
        menu->close();
    };
    choose("Shelve for 15 min");
    QTRY_VERIFY(text(body, "Status").startsWith("Shelved until "));
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Shelved: Dev Alarm for [Alarm]"));
    body.findChild<QCheckBox *>("ShowAlarms")->click();
    const QWidgetList windows = QApplication::topLevelWidgets();
    QWidget *alarms = *std::find_if(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->objectName() == "AlarmListWindow"; });
    QVERIFY(alarms->isVisible());
    const QAbstractItemModel *lines = alarms->findChild<QTableView *>()->model();
    QCOMPARE(lines->index(0, AlarmList::StateColumn).data().toString() + lines->index(0, AlarmList::CountColumn).data().toString(), "shelved5");
    choose("Unshelve");
    QTRY_COMPARE(text(body, "Status") + lines->index(0, AlarmList::StateColumn).data().toString(), "×2acknowledged");

    server.dropClient();
    QTRY_VERIFY(text(body, "LinkL").startsWith("down since "));
}

void TestAlarms::trayFoldsEvents()
{
    QWidget window;
    Stars stars;
    LinkStatus link(&stars, nullptr);
    AlarmModel alarms({"A"}, {});
    TrayNotifier tray(&window, &link, &alarms, 100);
    QSignalSpy messages(&tray, &TrayNotifier::notified);

    alarms.takeEvent({"Dev", "Unmatched", {}, 0, {}});
    for (const char *event : {"Alarm", "Fire", "Smoke", "Flood"})
        alarms.takeEvent({"Dev", event, {}, 0, {0}});
    QCOMPARE(messages.size(), 1);
    QVERIFY(tray.icon().toolTip().startsWith("Dev: Flood "));
    QTRY_COMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("Dev: Alarm"));
    QCOMPARE(messages.at(1).at(0).toString(), QStringLiteral("Dev: Flood (and 2 more)"));

    // The icon follows the link, and shows an alarm not heard as a link down.
    const auto shows = [&tray](const QString &name) {
        return tray.icon().icon().pixmap(16).toImage() == QIcon(":/operator/link-" + name + ".png").pixmap(16).toImage();
    };
    QVERIFY(shows("down"));
    stars.connectToStars();
    QVERIFY(shows("connecting"));
    alarms.soundLost("X");
    QVERIFY(shows("down"));
    QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Alarm not heard: Dev Flood"));
    alarms.soundBack();
    QVERIFY(shows("down"));
    alarms.played(0);
    QVERIFY(shows("connecting"));
    // A click on the icon brings the window back.
    emit const_cast<QSystemTrayIcon &>(tray.icon()).activated(QSystemTrayIcon::Trigger);
    QVERIFY(window.isVisible());
}

void TestAlarms::runs_data()
{
    // With the operator's bar, Mute is clicked before the events.
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QStringList>("runs");
    // The runner's red lines, in sorted order.
    QTest::addColumn<QStringList>("lines");

    const QByteArray text = "RUN_ON_EVENT Alarm ./rec \"%text\"\n";
    const QByteArray both = "EVENT Alarm a.wav 50 Dev\nRUN_ON_RING ./rec ring \"%row\" %sender\nRUN_ON_EVENT \"Fire Alarm\" ./rec event %event\n";
    const QByteArray twice = "Dev>Zendri _Alarm\nDev>Zendri _Alarm\n";
    QTest::newRow("no keys") << QByteArray("EVENT Alarm a.wav 50\n") << twice << QStringList() << QStringList();
    QTest::newRow("placeholders, also in the texts")
        << QByteArray("RUN_ON_EVENT \" Alarm \" ./rec \"%sender: %event\" \"%text\" [%row] %time 100%% %%text %x %\n")
        << QByteArray("Dev%sender%text>Zendri _Alarm %text  %% %row %event %sender\n")
        << QStringList {"Dev%sender%text: Alarm ¦ %text %% %row %event %sender ¦ [] ¦ hh:mm:ss ¦ 100% ¦ %text ¦ %x ¦ %"} << QStringList();
    QTest::newRow("shell syntax") << text << QByteArray("Dev>Zendri _Alarm '; touch pwned; '\nDev>Zendri _Alarm $(touch pwned)\nDev>Zendri _Alarm `touch pwned` | touch pwned && touch pwned\n")
        << QStringList {"$(touch pwned)", "'; touch pwned; '", "`touch pwned` | touch pwned && touch pwned"} << QStringList();
    QTest::newRow("control characters, a next-line, invalid UTF-8") << text << QByteArray("Dev>Zendri _Alarm a\x01" "b\x1b[1mc\xc2\x85" "d\x7f \xff\xfeok\n")
        << QStringList {"a b [1mc d  \uFFFD\uFFFDok"} << QStringList();
    QTest::newRow("1 MiB, cut before a surrogate pair") << text << "Dev>Zendri _Alarm " + QByteArray(1 << 20, 'x') + "\nDev>Zendri _Alarm " + QByteArray(1023, 'x') + "\xf0\x9f\x98\x80\n"
        << QStringList {QString(1023, 'x'), QString(1024, 'x')} << QStringList();
    QTest::newRow("without the horn the row rings") << both << twice + "Other>Zendri _Alarm\nDev>Zendri _Ping\nOps>Zendri _Fire\n"
        << QStringList {"event ¦ Alarm", "event ¦ Alarm", "event ¦ Alarm", "event ¦ Fire", "ring ¦ Alarm ¦ Dev", "ring ¦ Alarm ¦ Dev"} << QStringList();
    QTest::newRow("muted: no ring, the event runs") << both + "OPERATOR_BAR 1\n" << twice << QStringList {"event ¦ Alarm", "event ¦ Alarm"} << QStringList();
    QTest::newRow("held off: one ring") << both + "EVENT_HOLDOFF_MS 60000\n" << twice << QStringList {"event ¦ Alarm", "event ¦ Alarm", "ring ¦ Alarm ¦ Dev"} << QStringList();
    const QStringList plain = QString(67, '\n').split('\n'); // 68 runs without arguments
    QTest::newRow("4 run, 64 wait") << QByteArray("RUN_ON_EVENT Alarm ./rec\n") << QByteArray("Dev>Zendri _Alarm\n").repeated(70) << plain
        << QStringList {"Dropped 2 runs of programs on events: at most 4 run at once and 64 wait",
                        "Dropping runs of programs on events: at most 4 run at once and 64 wait"};
    QTest::newRow("exit status, signal, time-out, missing program")
        << QByteArray("RUN_ON_EVENT Alarm ./rec fail\nRUN_ON_EVENT Alarm ./rec kill\nRUN_ON_EVENT Alarm ./rec hang\nRUN_ON_EVENT Alarm ./missing\nRUN_TIMEOUT_SEC 1\n")
        << twice << QStringList {"fail", "fail", "hang", "hang", "kill", "kill"}
        << QStringList {"[./missing] failed: could not start: execvp: No such file or directory", "[./rec] failed: ended by signal 9",
                        "[./rec] failed: exit status 3: first line", "[./rec] failed: still running after 1 s: killed"};
}

// Each argument reaches the program as one literal argument, and no shell ever sees it. No more
// than 4 programs run at once and 64 wait; the first run dropped is told at once, how many were
// once the queue has emptied. Each entry's failure gives its red line once.
void TestAlarms::runs()
{
    QFETCH(QByteArray, keys);
    QFETCH(QByteArray, events);
    QFETCH(QStringList, runs);
    QFETCH(QStringList, lines);
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + keys));
    Body body;
    if (keys.contains("OPERATOR_BAR"))
        body.findChild<QPushButton *>("MuteB")->click();
    auto *runner = body.findChild<CommandRunner *>();
    QCOMPARE(runner != nullptr, keys.contains("RUN_"));
    QStringList logged;
    if (runner)
        connect(runner, &CommandRunner::log, this, [&logged](const QString &text, const QColor &c) { logged << c.name() + ' ' + text; });
    QVERIFY(acceptLogIn(server, events + "Dev>Zendri Hello\n", 1).endsWith(" Nice to meet you!\n"));
    QCOMPARE(logged.filter("Dropping").size(), lines.filter("Dropping").size());
    // Until every program has run and ended: 68 of them take seconds on a loaded machine with the
    // sanitizers. Meanwhile at most 4 run at once.
    int mostRunning = 0;
    QVERIFY(QTest::qWaitFor([&] {
        const QList<QProcess *> processes = runner ? runner->findChildren<QProcess *>() : QList<QProcess *>();
        mostRunning = qMax(mostRunning, int(std::count_if(processes.cbegin(), processes.cend(), [](QProcess *p) { return p->state() != QProcess::NotRunning; })));
        return recordedRuns().size() >= runs.size() && processes.isEmpty();
    }, 30000));
    QVERIFY2(mostRunning <= 4, qPrintable(QString::number(mostRunning)));
    QCOMPARE(recordedRuns(), runs);
    logged.sort();
    QCOMPARE(logged, lines.replaceInStrings(QRegularExpression("^"), "#c80000 "));
    QVERIFY(!QFile::exists("pwned"));
}

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
