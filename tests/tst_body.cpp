#include <QtTest>
#include <QtWidgets>

#include "alarm/alarmmodel.h"
#include "body/body.h"
#include "debugcapture.h"
#include "pulseserver.h"
#include "sound/linkalarm.h"
#include "sound/outputprobe.h"
#include "sound/sound.h"
#include "sound/soundwatch.h"
#include "stars/stars.h"
#include "support.h"

// The main window: what it builds from the configuration and how it reacts to the client; the
// link-loss alarm and the watch on a failing sound.
class TestBody : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startUp_data();
    void startUp();
    void logWindowOutlivesMainWindow();
    void matching_data();
    void matching();
    void linkKeys_data();
    void linkKeys();
    void alarmRepeatsUntilStopped();
    void soundOutputWatched_data();
    void soundOutputWatched();
    void desks_data();
    void desks();

private:
    QTemporaryDir dir;
};

// The key file and the sound files are named relative to the test's folder.
void TestBody::initTestCase()
{
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile("Zendri.key", "k0\n"));
    QVERIFY(writeWav("alarm.wav"));
    QVERIFY(writeWav("edited.wav"));
    QVERIFY(writeFile("text.wav", "not a sound\n"));
}

void TestBody::startUp_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("fields");

    QTest::newRow("defaults, CONNECT_TO_STARS 2") << QByteArray("CONNECT_TO_STARS 2\n") << "localhost 6057 Zendri Zendri.key waits";
    QTest::newRow("from the file, first entry of a key, connect_to_stars 01")
        << QByteArray("stars_ip 127.0.0.1\nSTARS_PORT 1\nName_On_Stars Orbit\nKEY_ON_STARS \"my.key\"\nSTARS_IP x\nconnect_to_stars 01\n") << "127.0.0.1 1 Orbit my.key connects";
}

// The connection fields come from the configuration, and the client connects at once unless told not to.
void TestBody::startUp()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, fields);
    QVERIFY(loadConfig(config));
    Body body;
    QStringList texts;
    for (const char *name : { "hostLE", "portLE", "nameOnStarsLE", "keyFileLE" })
        texts << body.findChild<QLineEdit *>(name)->text();
    texts << (body.findChild<Stars *>()->linkState() == LinkState::Down ? "waits" : "connects");
    QCOMPARE(texts.join(' '), fields);
}

// "Log" shows and hides the log window. Both are top-level windows, so closing the main window
// while the log window is shown does not end the program; closing the log window then does.
void TestBody::logWindowOutlivesMainWindow()
{
    QVERIFY(loadConfig("CONNECT_TO_STARS 0\n"));
    Body body;
    body.show();
    auto *box = body.findChild<QCheckBox *>("ShowLog");
    QVERIFY(!logWindow()->isVisible());
    box->click();
    QVERIFY(logWindow()->isVisible());
    bool ranOn = false;
    QTimer guard;
    connect(&guard, &QTimer::timeout, qApp, &QApplication::quit);
    guard.start(10000);
    QTimer::singleShot(0, &body, &QWidget::close);
    QTimer::singleShot(50, qApp, [&ranOn] { ranOn = true; logWindow()->close(); });
    QApplication::exec();
    QVERIFY(ranOn && guard.isActive());
    QVERIFY(box->isChecked());
    box->click();
    box->click();
    QVERIFY(logWindow()->isVisible());
}

void TestBody::matching_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QByteArray>("line");
    // The volume each row plays at, or -1 where it does not play.
    QTest::addColumn<QList<int>>("volumes");

    const QByteArray dev = "EVENT Alarm a.wav 50 Dev\n";
    QTest::newRow("the sender") << dev << QByteArray("Dev>Zendri _Alarm") << QList<int> { 50 };
    QTest::newRow("the sender with a channel") << dev << QByteArray("Dev.ch1>Zendri _Alarm") << QList<int> { -1 };
    QTest::newRow("sender with a trailing blank") << QByteArray("EVENT Alarm a.wav 50 \"Dev \"\n") << QByteArray("Dev>Zendri _Alarm") << QList<int> { -1 };
    QTest::newRow("event name in another case") << dev << QByteArray("Dev>Zendri _alarm") << QList<int> { -1 };
    QTest::newRow("an ask") << dev << QByteArray("Dev>Zendri Alarm") << QList<int> { -1 };
    QTest::newRow("several rows, one without a file, blank senders, a volume that is no number; a burst plays each once")
        << QByteArray("EVENT \"\tFire  Alarm \" a.wav 10\nEVENT Alarm\nEVENT Fire f.wav\nEVENT Alarm b.wav 20 Dev\nEVENT Alarm c.wav x \" \"\n")
        << QByteArray("Dev>Zendri _Alarm\n").repeated(20) + "Dev>Zendri _Ping" << QList<int> { 10, -1, 20, 0 };
}

// An event plays every row that lists it and whose sender field is blank or equals the
// sender, with the file and volume the row shows then (a relative file from the working
// directory, a volume that is no number as 0), once for a burst of events. The event names are
// those the row was built with, split at any white space; the Active box is not consulted. Each
// row traces its verdict for each event.
void TestBody::matching()
{
    QFETCH(QByteArray, events);
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, volumes);
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + events));
    DebugCapture trace("velmar.body");
    Body body;
    const QList<Sound *> rows = body.findChildren<Sound *>();
    QCOMPARE(rows.size(), volumes.size());
    QVector<int> plays(rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        connect(&rows.at(i)->player(), &SoundPlayer::stateChanged, this, [&plays, i](SoundPlayer::State state) { plays[i] += state == SoundPlayer::PlayingState; });
    }
    for (Sound *row : rows) {
        row->findChild<QLineEdit *>("SoundEvents")->setText("Edited");
        row->findChild<QLineEdit *>("SoundFile")->setText("edited.wav");
        row->findChild<QCheckBox *>("Active")->setChecked(false);
    }
    // The answer to the ask after the line shows that the line has been handled.
    QVERIFY(acceptLogIn(server, line + "\nDev>Zendri Hello\n", 1).endsWith(" Nice to meet you!\n"));
    for (int i = 0; i < rows.size(); ++i) {
        QTRY_COMPARE(plays.at(i), volumes.at(i) < 0 ? 0 : 1);
        QCOMPARE(rows.at(i)->player().source(), volumes.at(i) < 0 ? QUrl() : QUrl::fromLocalFile(dir.filePath("edited.wav")));
        QCOMPARE(rows.at(i)->player().volume(), volumes.at(i) < 0 ? 100 : volumes.at(i));
    }
    QCOMPARE(trace.lines.size(), line.count(" _") * rows.size());
}

void TestBody::linkKeys_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QStringList>("afterDrop");
    // The client's verbose lines at the log-in; the log window's "Verbose" is ticked when there are any.
    QTest::addColumn<QStringList>("verbose");

    QTest::newRow("none") << QByteArray("UNKNOWN_KEY 1\n") << QStringList() << QStringList();
    QTest::newRow("all, Verbose ticked") << QByteArray("RECONNECT_SEC 1\nLINK_TIMEOUT_SEC 5\nLINK_LOST_SOUND alarm.wav 10 5\nSHOW_SOUND_ERRORS 1\n")
                         << QStringList { "Lost the Stars link to 127.0.0.1:%1: The remote host closed the connection",
                                          "Trying Stars at 127.0.0.1:%1 again in 1 s" }
                         << QStringList { "msg from stars[0]", "msg from stars[System>Zendri Ok:]" };
}

// After each log-in one flgon per FLGON entry, in order, before anything else. Without the
// link keys a drop leaves the client down and the log as it was until Connect is clicked; with
// them the client reports a sound that fails at every press of Play once until it has played
// again, says why the link went, rings the alarm, logs in again and subscribes again.
void TestBody::linkKeys()
{
    QFETCH(QByteArray, keys);
    QFETCH(QStringList, afterDrop);
    QFETCH(QStringList, verbose);
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "FLGON Dev\nflgon b\nEVENT Alarm missing.wav 50\n" + keys));
    Body body;
    logWindow()->findChild<QCheckBox *>("Verbose")->setChecked(!verbose.isEmpty());
    const QByteArray logIn = "Zendri k0\nZendri>System flgon Dev\nZendri>System flgon b\n";
    QCOMPARE(acceptLogIn(server, {}, 2), logIn);
    Sound *row = body.findChild<Sound *>();
    QSignalSpy failures(&row->player(), &SoundPlayer::errorOccurred);
    for (const QString name : {"missing.wav", "missing.wav", "alarm.wav", "missing.wav"}) {
        row->findChild<QLineEdit *>("SoundFile")->setText(name);
        const int failed = failures.count();
        QTest::mouseClick(row->findChild<QPushButton *>("Play"), Qt::LeftButton);
        QTRY_VERIFY(name == "alarm.wav" ? row->player().mediaStatus() == QMediaPlayer::EndOfMedia : failures.count() > failed);
    }
    // The log window shows its lines a moment after they are logged.
    QTRY_COMPARE(logWindowLines().filter("Can't play the sound").size(), afterDrop.isEmpty() ? 0 : 2);
    QStringList log = logWindowLines();
    QCOMPARE(log.filter(QRegularExpression("^msg from stars")), verbose);
    log = log.filter(QRegularExpression("^(?!msg from stars)"));
    if (!afterDrop.isEmpty()) {
        if (!SoundPlayer::outputAvailable())
            QCOMPARE(log.takeFirst(), QString("No audio output device: sounds cannot be heard"));
        for (int failure = 0; failure < 2; ++failure)
            QVERIFY(log.takeLast().startsWith("Can't play the sound for [Alarm] from [" + dir.filePath("missing.wav") + "]: "));
    }
    QCOMPARE(log, QStringList({ "opening key file [" + dir.filePath("Zendri.key") + "]", "sending key [Zendri][k0]",
                                "---- Snd Zendri>System flgon Dev", "---- Snd Zendri>System flgon b", "Connected To Stars" }));

    auto *alarm = body.findChild<LinkAlarm *>();
    QCOMPARE(alarm != nullptr, !afterDrop.isEmpty());
    QVERIFY(!body.findChild<SoundWatch *>());
    const QStringList before = logWindowLines();
    server.closeClient();
    if (afterDrop.isEmpty()) {
        QVERIFY(!server.waitForClient(1500));
        QCOMPARE(logWindowLines(), before);
        body.findChild<QPushButton *>("connectB")->click();
        QCOMPARE(acceptLogIn(server, {}, 2), logIn);
        return;
    }
    QTRY_COMPARE(logWindowLines().mid(before.size()), afterDrop.replaceInStrings("%1", QString::number(server.port())));
    QVERIFY(alarm->isRinging());
    QCOMPARE(acceptLogIn(server, {}, 2), logIn);
    QVERIFY(!alarm->isRinging());
}

// A relative sound file plays as an absolute file URL, again at every repeat until stopped.
void TestBody::alarmRepeatsUntilStopped()
{
    LinkAlarm linkAlarm({QStringLiteral("alarm.wav"), 40, 200});
    int plays = 0;
    connect(&linkAlarm.player(), &SoundPlayer::stateChanged, this, [&plays](SoundPlayer::State state) { plays += state == SoundPlayer::PlayingState; });

    linkAlarm.setRinging(true);
    QCOMPARE(linkAlarm.player().source(), QUrl::fromLocalFile(dir.filePath("alarm.wav")));
    QCOMPARE(linkAlarm.player().volume(), 40);
    QTRY_VERIFY(plays >= 2);

    linkAlarm.setRinging(false);
    QTRY_COMPARE(linkAlarm.player().state(), SoundPlayer::StoppedState);
    const int played = plays;
    QVERIFY(!QTest::qWaitFor([&] { return plays > played; }, 2 * 200));
}

void TestBody::soundOutputWatched_data()
{
    QTest::addColumn<QString>("sink");
    QTest::addColumn<QString>("file");
    // "kill": the server is killed before the event and started again after it; "suspend": its
    // output is suspended, so that the sound never plays to its end.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("expected");

    const QString noServer = "no sound server, and no ALSA device \\(.+\\)", found = "Sound output: Test-output";
    const QString lost = "Could not sound \\[Alarm\\] for Dev Alarm: ";
    QTest::newRow("killed and back") << "velmar_test" << "alarm.wav" << "kill"
        << QStringList{found, "Sound output lost: " + noServer, lost + noServer, "Sound output is back after 00:00:0\\d; ringing 1 alarm not heard meanwhile"};
    QTest::newRow("only the dummy output") << OutputProbe::DummySink << "alarm.wav" << ""
        << QStringList{"Sound output lost: only the dummy output", lost + "only the dummy output"};
    QTest::newRow("a file that is no sound") << "velmar_test" << "text.wav" << "" << QStringList{found, lost + "Could not determine type of stream."};
    QTest::newRow("a stuck player") << "velmar_test" << "alarm.wav" << "suspend" << QStringList{found, lost + "the player did not finish within 2.3 s"};
}

// Against a real sound server: the output found at start, lost when the server is killed and
// back when it runs again, written to the log file from the start; an alarm that cannot be
// heard marks its row until it rings again once the output is back, and then is heard.
void TestBody::soundOutputWatched()
{
    QFETCH(QString, sink);
    QFETCH(QString, file);
    QFETCH(QString, fault);
    QFETCH(QStringList, expected);
    if (!PulseServer::unavailable().isEmpty())
        QSKIP(qPrintable(PulseServer::unavailable()));
    PulseServer pulse;
    QVERIFY(pulse.start(sink));
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "SOUND_WATCH 1\nLOG_FILE v-%1.log\nEVENT Alarm " + file.toLatin1() + " 50 Dev\n"));
    Body body;
    acceptLogIn(server);
    const auto soundLines = [] { return logWindowLines().filter(QRegularExpression("^(Sound output|Could not sound)")); };
    QTRY_COMPARE(soundLines().size(), 1);
    if (fault == "kill") {
        pulse.kill();
        QTRY_COMPARE(soundLines().size(), 2);
    }
    if (fault == "suspend")
        QCOMPARE(QProcess::execute("pactl", {"suspend-sink", sink, "1"}), 0);
    auto *button = body.findChild<Sound *>()->findChild<QPushButton *>("Play");
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(button->text(), QString("Not heard"));
    if (fault == "kill") {
        QVERIFY(pulse.start(sink));
        QTRY_COMPARE_WITH_TIMEOUT(button->text(), QString("Play"), 10000);
    }
    QTRY_COMPARE(soundLines().size(), expected.size());
    const QStringList lines = soundLines();
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(QRegularExpression("^" + expected.at(i) + "$").match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
    QFile written(logWindow()->findChild<QLineEdit *>("LogFileName")->text());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString(written.readAll()).count(QRegularExpression("(Sound output|Could not sound)")), lines.size());
    written.remove();
}

void TestBody::desks_data()
{
    // "<LINE" the server sends LINE; "i" it accepts the log-in; "s" Silence; "L:X" the sound
    // output is lost for X, "B" it is back.
    QTest::addColumn<QStringList>("steps");
    // What Velmar sent after its subscriptions, %op for this desk's operator.
    QTest::addColumn<QByteArray>("sent");
    // Each row's alarm (waiting: ringing or unacknowledged), then the bar's peer desks.
    QTest::addColumn<QString>("shown");
    // The log window's lines of desks and of their acknowledgements, then the debug lines.
    QTest::addColumn<QStringList>("lines");

    const QString ack = "<Zendri2>Zendri _AlarmAcknowledged Dev Alarm bob@b", alarm = "<Dev>Zendri _Alarm";
    QTest::newRow("a peer's acknowledgement, twice: once, and not told on") << QStringList{"i", alarm, ack, ack} << QByteArray()
        << "acknowledged acknowledged" << QStringList{"[Alarm] acknowledged at Zendri2 by bob@b", "[Fire Alarm] acknowledged at Zendri2 by bob@b"};
    QTest::newRow("rows of another sender or event") << QStringList{"i", alarm, "<Dev>Zendri _Fire", "<Zendri3>Zendri _AlarmAcknowledged Ops Alarm a@b",
        "<Zendri3>Zendri _AlarmAcknowledged Dev Fire a@b"} << QByteArray() << "waiting acknowledged" << QStringList{"[Fire Alarm] acknowledged at Zendri3 by a@b"};
    QTest::newRow("an alarm not ringing here") << QStringList{"i", ack} << QByteArray() << "normal normal" << QStringList();
    QTest::newRow("nodes that are not desks: another, this desk") << QStringList{"i", alarm, "<Other>Zendri _AlarmAcknowledged Dev Alarm bob@b",
        "<Zendri>Zendri _SoundLost x"} << QByteArray() << "waiting waiting"
        << QStringList{"Other is not a desk: _AlarmAcknowledged ignored", "Zendri is not a desk: _SoundLost ignored"};
    QTest::newRow("hostile items: missing, empty; an operator of 10,000 characters, control characters, invalid UTF-8")
        << QStringList{"i", alarm, "<Zendri2>Zendri _AlarmAcknowledged Dev Alarm", "<Zendri2>Zendri _AlarmAcknowledged \"\" Alarm x", "<Zendri2>Zendri _AlarmAcknowledged Dev Alarm \"\"",
                       "<Zendri2>Zendri _AlarmAcknowledged Dev Alarm \x01\x1b\\xff" + QString(10000, 'b')}
        << QByteArray() << "acknowledged acknowledged"
        << QStringList{"[Alarm] acknowledged at Zendri2 by   \uFFFD" + QString(61, 'b'), "[Fire Alarm] acknowledged at Zendri2 by   \uFFFD" + QString(61, 'b'),
                       "_AlarmAcknowledged from Zendri2 ignored: it lacks an item", "_AlarmAcknowledged from Zendri2 ignored: it lacks an item",
                       "_AlarmAcknowledged from Zendri2 ignored: it lacks an item"};
    QTest::newRow("Silence acknowledges two rows of one sender and event: told once") << QStringList{"i", alarm, "s"}
        << QByteArray("Zendri>System _AlarmAcknowledged Dev Alarm %op\n") << "acknowledged acknowledged" << QStringList();
    QTest::newRow("sound lost before the log-in, back, lost for two reasons, a double quote")
        << QStringList{"L:no device", "i", "B", "L:a \"b\"", "L:other"}
        << QByteArray("Zendri>System _SoundLost \"no device\"\nZendri>System _SoundBack\nZendri>System _SoundLost \"a 'b'\"\n") << "normal normal" << QStringList();
    QTest::newRow("peer desks cannot sound, with a reason, twice, without one; one can again")
        << QStringList{"i", "<Zendri2>Zendri _SoundLost \"no sound server\"", "<Zendri2>Zendri _SoundLost other", "<Zendri3>Zendri _SoundLost", "<Zendri2>Zendri _SoundBack"}
        << QByteArray() << "normal normal desks that cannot sound: Zendri3"
        << QStringList{"Desk Zendri2 cannot sound: no sound server", "Desk Zendri3 cannot sound: no reason given", "Desk Zendri2 can sound again"};
}

// DESKS: a peer desk's acknowledgement acknowledges every alarm here of its sender and event
// that waits for one, and is never told on; this desk tells its own acknowledgements and its
// sound output, lost and back, once each. Every event still goes to the rows.
void TestBody::desks()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);
    QFETCH(QStringList, lines);
    ScriptedServer server;
    // The sound output is watched only by the rows that change it.
    const bool watched = !steps.filter(QRegularExpression("^(L|B$)")).isEmpty();
    QVERIFY(loadConfig(serverConfig(server) + "FLGON Dev\nDESKS Zendri2 Zendri\nDESKS \"Zendri3\"\nEVENT Alarm alarm.wav 50\n"
                       "EVENT \"Fire Alarm\" alarm.wav 50\nREPEAT_UNTIL_ACK 1\nOPERATOR_BAR 1\n" + (watched ? "SOUND_WATCH 1\n" : "")));
    DebugCapture debug("velmar.desks");
    Body body;
    // The test tells the output, not the machine's sound server.
    delete body.findChild<OutputProbe *>();
    auto *alarms = body.findChild<AlarmModel *>();
    int events = 0;
    bool loggedIn = false;
    for (const QString &step : steps) {
        if (step == "i")
            acceptLogIn(server);
        else if (step == "s")
            body.findChild<QPushButton *>("SilenceB")->click();
        else if (step.startsWith('L') || step == "B")
            body.findChild<SoundWatch *>()->setOutput({step == "B" ? SoundOutput::State::Usable : SoundOutput::State::Lost, step.mid(2)});
        else
            server.send(step.mid(1).toUtf8().replace("\\xff", "\xff") + '\n');
        // Until the log-in or the event has been handled.
        events += step.startsWith('<');
        loggedIn = loggedIn || step == "i";
        QTRY_VERIFY(alarms->counters().received == events && (!loggedIn || body.findChild<Stars *>()->linkState() == LinkState::LoggedIn));
    }
    server.send("Dev>Zendri Hello\n");
    QTRY_VERIFY(server.received().endsWith(" Nice to meet you!\n"));
    QCOMPARE(server.lines().mid(0, server.lines().size() - 1).join('\n') + '\n',
             "Zendri>System flgon Dev\nZendri>System flgon Zendri2\nZendri>System flgon Zendri3\n" + sent.replace("%op", localOperator().toUtf8()));
    QStringList states;
    for (int row = 0; row < alarms->rowCount(); ++row)
        states << (alarms->row(row).unacknowledged() ? "waiting" : alarmStateWord(alarms->row(row).state));
    auto *desksLabel = body.findChild<QLabel *>("DesksL");
    if (!desksLabel->isHidden())
        states << desksLabel->text();
    QCOMPARE(states.join(' '), shown);
    QTRY_COMPARE(logWindowLines().filter(QRegularExpression("^(\\[.+\\] acknowledged at |Desk )")) + debug.lines, lines);
    QCOMPARE(body.windowTitle(), QString("Velmar at Zendri"));
}

QTEST_MAIN(TestBody)
#include "tst_body.moc"
