#include <QtTest>
#include <QtWidgets>

#include "app/config.h"
#include "body/body.h"
#include "debugcapture.h"
#include "operator/alarmlist.h"
#include "operator/commandrunner.h"
#include "operator/horn.h"
#include "operator/linkstatus.h"
#include "operator/traynotifier.h"
#include "scriptedserver.h"
#include "sound/sound.h"
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

// The horn with its alarm list, driven by a script on a clock of the test's own, rows "A" and
// "B", every event from Dev. Steps: r an event; m0 it matches row 0; e0 row 0 played to its
// end; c0 row 0's button; s Silence; M Mute; S Snooze 1 min; f0 shelve row 0 for 15 min; F0
// until unshelved; u0 unshelve it; k0 the list's Ack on its line 0; K Ack all; n0 row 0 not
// heard; x the list's expiry; t500 500 ms pass.
struct HornScript
{
    qint64 now = 0;
    Horn horn;
    AlarmList list;
    // +0 start row 0, -0 stop it, h0:2 its held-back count, a0/A0 waits for or got its
    // acknowledgement, ! the link alarm silenced, *0 row 0 rang because of an event, [..] a log
    // line.
    QStringList seen;

    explicit HornScript(const HornSettings &settings)
        : horn({"A", "B"}, settings, nullptr, [this] { return now; })
        , list(&horn, {"A", "B"}, 60 * 60000, nullptr, [this] { return now; })
    {
        QObject::connect(&horn, &Horn::startRow, &horn, [this](int row) { seen << QStringLiteral("+%1").arg(row); });
        QObject::connect(&horn, &Horn::stopRow, &horn, [this](int row) { seen << QStringLiteral("-%1").arg(row); });
        QObject::connect(&horn, &Horn::heldBackChanged, &horn, [this](int row, int n) { seen << QStringLiteral("h%1:%2").arg(row).arg(n); });
        QObject::connect(&horn, &Horn::waitingForAck, &horn, [this](int row, bool on) { seen << QStringLiteral("%1%2").arg(on ? 'a' : 'A').arg(row); });
        QObject::connect(&horn, &Horn::silenced, &horn, [this] { seen << "!"; });
        QObject::connect(&horn, &Horn::rang, &horn, [this](int row) { seen << QStringLiteral("*%1").arg(row); });
        QObject::connect(&horn, &Horn::log, &horn, [this](const QString &line) { seen << '[' + line + ']'; });
    }

    void run(const QString &steps)
    {
        for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
            const int arg = step.mid(1).toInt();
            switch (step.at(0).toLatin1()) {
            case 'r': horn.eventReceived(); break;
            case 'm': horn.rowMatched(arg, "Dev", "Alarm"); list.eventMatched(arg, "Dev"); break;
            case 'e': list.rowEnded(arg); horn.rowEnded(arg); break;
            case 'c': horn.buttonClicked(arg); break;
            case 's': horn.silence(); break;
            case 'M': horn.toggleMute(); break;
            case 'S': horn.toggleSnooze(60000); break;
            case 'f': horn.shelve(arg, 15 * 60000); break;
            case 'F': horn.shelve(arg, Shelves::UntilUnshelved); break;
            case 'u': horn.unshelve(arg); break;
            case 'k': list.acknowledge({arg}); break;
            case 'K': list.acknowledgeAll(); break;
            case 'n': list.rowNotHeard(arg); break;
            case 'x': list.removeExpired(); break;
            case 't': now += arg; break;
            }
        }
    }

    // What was seen, then the counters: = received matched heldBack.
    QString trace() const
    {
        const Horn::Counters c = horn.counters();
        return seen.join(' ') + QStringLiteral(" = %1 %2 %3").arg(c.received).arg(c.matched).arg(c.heldBack);
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

// The horn driven by a script on a clock of the test's own; the operator's bar and the rows'
// buttons in the main window; the tray icon's messages; the programs run on events.
class TestHorn : public QObject
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
    QFile::remove("runs");
}

// The steps and the trace as HornScript reads and writes them; shelves, critical rows and the
// alarm list.
void TestHorn::script_data()
{
    QTest::addColumn<int>("holdoffMs");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QString>("critical");
    QTest::addColumn<QString>("steps");
    // The trace after the configuration's debug lines in braces.
    QTest::addColumn<QString>("trace");
    // The list's lines after the script.
    QTest::addColumn<QString>("list");

    QTest::newRow("mute holds and logs each match") << 0 << false << "" << "M r m0 m1 r m1 r"
        << "[Horn muted] -0 -1 [Muted: Dev Alarm for [A]] [Muted: Dev Alarm for [B]] [Muted: Dev Alarm for [B]] = 3 2 2" << "A held while muted 1, B held while muted 2";
    QTest::newRow("snooze ends a mute, clicked again ends, then snoozes again") << 0 << false << "" << "M S r m0 S r m0 S"
        << "[Horn muted] -0 -1 [Horn snoozed for 1 min] -0 -1 [Snoozed: Dev Alarm for [A]] [Snooze ended] *0 +0 [Horn snoozed for 1 min] -0 -1 = 2 2 1"
        << "A waiting for acknowledgement 2";
    QTest::newRow("hold-off counts, logs at the next start") << 1000 << false << "" << "r m0 t400 r m0 t400 r m0 m1 t300 r m0"
        << "*0 +0 h0:1 h0:2 *1 +1 *0 [[A] held back 2 events since it last started] h0:0 +0 = 4 4 0" << "A ringing 4, B ringing 1";
    QTest::newRow("held-back lines at most every 10 s") << 30000 << false << ""
        << "r m0 t500 r m0 t10000 r m0 t10000 r m0 t9500 r m0 t10000 r m0 t30000 r m0 t500 r m0 t10000 r m0"
        << "*0 +0 h0:1 [[A] held back 1 event since it last started] h0:2 [[A] held back 1 more event] h0:3 *0 h0:0 +0 [[A] held back 1 more event] "
           "h0:1 [[A] held back 1 more event] *0 h0:0 +0 h0:1 [[A] held back 1 event since it last started] h0:2 = 9 9 0"
        << "A ringing 9";
    QTest::newRow("repeat until acknowledged") << 0 << true << "" << "r m0 e0 t5000 e0 c0 e0"
        << "a0 *0 +0 +0 +0 A0 -0 [[A] acknowledged 00:00:05 after its first ring] = 1 1 0" << "A acknowledged 1";
    QTest::newRow("a button click plays once, not while muted") << 0 << true << "" << "c0 e0 M c0"
        << "+0 [Horn muted] -0 -1 [Muted: [A] not played] = 0 0 0" << "";
    QTest::newRow("silence acknowledges, the next event sounds") << 0 << true << "" << "r m0 m1 s e0 r m0"
        << "a0 *0 +0 a1 *1 +1 -0 -1 A0 -0 [[A] acknowledged 00:00:00 after its first ring] A1 -1 [[B] acknowledged 00:00:00 after its first ring] ! [Horn silenced] "
           "a0 *0 +0 = 2 2 0"
        << "A ringing 2, B acknowledged 1";
    QTest::newRow("mute stops repeats, unmute rings again") << 0 << true << "" << "r m0 M e0 M e0"
        << "a0 *0 +0 [Horn muted] -0 -1 [Horn unmuted] +0 +0 = 1 1 0" << "A ringing 1";
    QTest::newRow("shelve stops, acknowledges, logs each match and click") << 0 << true << "" << "r m0 f0 r m0 m1 c0"
        << "a0 *0 +0 A0 -0 [[A] acknowledged 00:00:00 after its first ring] [[A] shelved for 15 min] [Shelved: Dev Alarm for [A]] a1 *1 +1 "
           "[Shelved: [A] not played] = 2 2 0"
        << "B ringing 1, A shelved 2";
    QTest::newRow("a timed shelf ends") << 0 << true << "" << "f0 t899000 r m0 t1000 r m0"
        << "-0 [[A] shelved for 15 min] [Shelved: Dev Alarm for [A]] [[A] shelf ended] a0 *0 +0 = 2 2 0" << "A ringing 2";
    QTest::newRow("unshelve") << 0 << true << "" << "F0 t3723000 r m0 u0 r m0"
        << "-0 [[A] shelved until unshelved] [Shelved: Dev Alarm for [A]] [[A] unshelved after 01:02:03] a0 *0 +0 = 2 2 0" << "A ringing 2";
    QTest::newRow("critical rings through mute and snooze") << 0 << true << "Alarm B" << "M r m0 m1 e1 S e1 c1"
        << "{CRITICAL_EVENTS [Alarm] names no row's event} [Horn muted] -0 [Muted: Dev Alarm for [A]] a1 *1 +1 +1 [Horn snoozed for 1 min] -0 +1 A1 -1 [[B] acknowledged 00:00:00 after its first ring] = 1 1 1"
        << "A held while muted 1, B acknowledged 1";
    QTest::newRow("critical cannot be shelved, silence stops it") << 0 << true << "B" << "f1 M r m1 s"
        << "[Horn muted] -0 a1 *1 +1 -0 -1 A1 -1 [[B] acknowledged 00:00:00 after its first ring] ! [Horn silenced] = 1 1 0"
        << "B acknowledged 1";
    QTest::newRow("critical hold-off still counts") << 1000 << true << "B" << "M r m1 t100 r m1"
        << "[Horn muted] -0 a1 *1 +1 h1:1 = 2 2 0" << "B ringing 2";
    QTest::newRow("unacknowledged first, newest first") << 0 << true << "" << "r m0 t1000 r m1 e1 k0 t1000 r m0 e0 t1000 M r m1 n0"
        << "a0 *0 +0 a1 *1 +1 +1 A1 -1 [[B] acknowledged 00:00:00 after its first ring] *0 +0 +0 [Horn muted] -0 -1 [Muted: Dev Alarm for [B]] = 4 4 1"
        << "B held while muted 2, A not heard 2";
    QTest::newRow("ack all, then kept for an hour") << 0 << true << "" << "r m0 r m1 K t3599000 r m1 K t1000 x"
        << "a0 *0 +0 a1 *1 +1 A0 -0 [[A] acknowledged 00:00:00 after its first ring] A1 -1 [[B] acknowledged 00:00:00 after its first ring] a1 *1 +1 A1 -1 [[B] acknowledged 00:00:00 after its first ring] -0 = 3 3 0"
        << "B acknowledged 2";
}

void TestHorn::script()
{
    QFETCH(int, holdoffMs);
    QFETCH(bool, repeat);
    QFETCH(QString, critical);
    QFETCH(QString, steps);
    QFETCH(QString, trace);
    QFETCH(QString, list);
    const DebugCapture debug("velmar.config");
    HornScript script(HornSettings {holdoffMs, repeat, critical.split(' ', Qt::SkipEmptyParts)});
    script.run(steps);
    QStringList seen = debug.lines;
    QCOMPARE((seen.replaceInStrings(QRegularExpression("^(.*)$"), "{\\1}") << script.trace()).join(' '), trace);
    QCOMPARE(script.listed(), list);
}

// A snooze and a shelf end by themselves and say so; the snooze's end rings the rows that
// still wait; a held-back event gets its line when no start comes.
void TestHorn::timersEndByThemselves()
{
    Horn horn({"A", "B"}, HornSettings {60000, true, {}, 50});
    QSignalSpy starts(&horn, &Horn::startRow);
    QStringList lines;
    connect(&horn, &Horn::log, this, [&lines](const QString &line) { lines << line; });
    horn.rowMatched(0, "Dev", "Alarm");
    horn.rowMatched(0, "Dev", "Alarm");
    horn.shelve(1, 50);
    horn.toggleSnooze(50);
    QTRY_COMPARE(lines.filter(QRegularExpression("ended|held back")).size(), 3);
    QVERIFY(lines.contains("Snooze ended") && lines.contains("[B] shelf ended"));
    QVERIFY(lines.contains("[A] held back 1 event since it last started"));
    QCOMPARE(starts.size(), 2);
}

void TestHorn::keysAddOnlyTheBar_data()
{
    QTest::addColumn<QByteArray>("keys");
    // The paths of the widgets that the keys add, and of those that may change their width or
    // move sideways to make room for them (whether the window grows wider for "Alarms" depends
    // on the font).
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("sideways");

    QTest::newRow("without the keys") << QByteArray("UNKNOWN_KEY 1\n") << "^$" << "^$";
    QTest::newRow("bar, hold-off, repeat, tray") << HornKeys + "TRAY 1\n" << "^/OperatorBar|/Sound/MenuB$" << "/Sound/";
    QTest::newRow("alarm list, critical") << QByteArray("ALARM_LIST 1\nCRITICAL_EVENTS Ping\n") << "^/frame/ShowAlarms$" << ".";
}

// Today's widgets keep their places and sizes, but for room made beside them; the window grows
// by the bar below the rows and by "Alarms" beside "Log".
void TestHorn::keysAddOnlyTheBar()
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

void TestHorn::barAndRowsFollowTheHorn()
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
    QTRY_COMPARE(text(body, "CountersL"), QStringLiteral("events 4 · matched 3 · held 0"));
    QCOMPARE(text(body, "Play"), QStringLiteral("Ack"));
    QCOMPARE(text(body, "Status"), QStringLiteral("×2"));
    // The sound watch marks the same button; its mark outranks the horn's, and neither undoes the other's.
    auto *row = body.findChild<Sound *>();
    row->setNotHeard(true);
    row->setWaitingForAck(true);
    QCOMPARE(text(body, "Play"), QStringLiteral("Not heard"));
    row->setNotHeard(false);
    QCOMPARE(text(body, "Play"), QStringLiteral("Ack"));

    QTest::keyClick(&body, Qt::Key_Escape);
    QCOMPARE(text(body, "Play"), QStringLiteral("Play"));
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Horn silenced"));

    QTest::keyClick(&body, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(body.findChild<QPushButton *>("MuteB")->isChecked());
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Muted: Dev Alarm for [Alarm]"));
    QCOMPARE(text(body, "CountersL"), QStringLiteral("events 5 · matched 4 · held 1"));
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
    QVERIFY(text(body, "Status").startsWith("Shelved until "));
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(logWindowLines().last(), QStringLiteral("Shelved: Dev Alarm for [Alarm]"));
    body.findChild<QCheckBox *>("ShowAlarms")->click();
    const QWidgetList windows = QApplication::topLevelWidgets();
    QWidget *alarms = *std::find_if(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->objectName() == "AlarmListWindow"; });
    QVERIFY(alarms->isVisible());
    const QAbstractItemModel *lines = alarms->findChild<QTableView *>()->model();
    QCOMPARE(lines->index(0, AlarmList::StateColumn).data().toString() + lines->index(0, AlarmList::CountColumn).data().toString(), "shelved5");
    choose("Unshelve");
    QCOMPARE(text(body, "Status") + lines->index(0, AlarmList::StateColumn).data().toString(), "×2acknowledged");

    server.dropClient();
    QTRY_VERIFY(text(body, "LinkL").startsWith("down since "));
}

void TestHorn::trayFoldsEvents()
{
    QWidget window;
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

    // The icon follows the link, and shows an alarm not heard as a link down.
    const auto shows = [&tray](const QString &name) {
        return tray.icon().icon().pixmap(16).toImage() == QIcon(":/operator/link-" + name + ".png").pixmap(16).toImage();
    };
    QVERIFY(shows("down"));
    stars.connectToStars();
    QVERIFY(shows("connecting"));
    tray.soundNotHeard("Dev", "Alarm");
    QVERIFY(shows("down"));
    QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Alarm not heard: Dev Alarm"));
    tray.soundHeard();
    QVERIFY(shows("connecting"));
    // A click on the icon brings the window back.
    emit const_cast<QSystemTrayIcon &>(tray.icon()).activated(QSystemTrayIcon::Trigger);
    QVERIFY(window.isVisible());
}

void TestHorn::runs_data()
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
        << QStringList {"Dropped 2 runs of programs on events: at most 4 run at once and 64 wait"};
    QTest::newRow("exit status, signal, time-out, missing program")
        << QByteArray("RUN_ON_EVENT Alarm ./rec fail\nRUN_ON_EVENT Alarm ./rec kill\nRUN_ON_EVENT Alarm ./rec hang\nRUN_ON_EVENT Alarm ./missing\nRUN_TIMEOUT_SEC 1\n")
        << twice << QStringList {"fail", "fail", "hang", "hang", "kill", "kill"}
        << QStringList {"[./missing] failed: could not start: execvp: No such file or directory", "[./rec] failed: ended by signal 9",
                        "[./rec] failed: exit status 3: first line", "[./rec] failed: still running after 1 s: killed"};
}

// Each argument reaches the program as one literal argument, and no shell ever sees it. No more
// than 4 programs run at once and 64 wait; the rest are dropped with one line once the queue has
// emptied. Each entry's failure gives its red line once.
void TestHorn::runs()
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
    // Until every program has ended.
    QVERIFY(QTest::qWaitFor([runner] { return !runner || runner->findChildren<QProcess *>().isEmpty(); }));
    QCOMPARE(recordedRuns(), runs);
    logged.sort();
    QCOMPARE(logged, lines.replaceInStrings(QRegularExpression("^"), "#c80000 "));
    QVERIFY(!QFile::exists("pwned"));
}

QTEST_MAIN(TestHorn)
#include "tst_horn.moc"
