#include <QAudioDeviceInfo>
#include <QtTest>
#include <QtWidgets>

#include "body/body.h"
#include "debugcapture.h"
#include "sound/linkalarm.h"
#include "sound/playbackwatch.h"
#include "sound/sound.h"
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
    void playbackFailureReportedOnce();

private:
    QTemporaryDir dir;
};

// The key file and the sound files are named relative to the test's folder.
void TestBody::initTestCase()
{
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile("Zendri.key", "k0\n"));
    QVERIFY(writeWav("alarm.wav"));
    QVERIFY(writeFile("text.wav", "not a sound\n"));
}

void TestBody::startUp_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("fields");

    QTest::newRow("defaults") << QByteArray("CONNECT_TO_STARS 0\n") << "localhost 6057 Zendri Zendri.key waits";
    QTest::newRow("from the file, first entry of a key")
        << QByteArray("stars_ip 127.0.0.1\nSTARS_PORT 1\nName_On_Stars Orbit\nKEY_ON_STARS \"my.key\"\nSTARS_IP x\n") << "127.0.0.1 1 Orbit my.key connects";
    QTest::newRow("CONNECT_TO_STARS yes") << QByteArray("STARS_PORT 1\nCONNECT_TO_STARS yes\n") << "localhost 1 Zendri Zendri.key waits";
    QTest::newRow("CONNECT_TO_STARS 2") << QByteArray("STARS_PORT 1\nCONNECT_TO_STARS 2\n") << "localhost 1 Zendri Zendri.key waits";
    QTest::newRow("connect_to_stars 01") << QByteArray("STARS_IP 127.0.0.1\nSTARS_PORT 1\nconnect_to_stars 01\n") << "127.0.0.1 1 Zendri Zendri.key connects";
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
    QTest::newRow("no events") << QByteArray() << QByteArray("Dev>Zendri _Alarm") << QList<int>();
    QTest::newRow("blank sender, no volume") << QByteArray("EVENT Alarm a.wav\n") << QByteArray("Other>Zendri _Alarm") << QList<int> { 0 };
    QTest::newRow("the sender") << dev << QByteArray("Dev>Zendri _Alarm") << QList<int> { 50 };
    QTest::newRow("another sender") << dev << QByteArray("Other>Zendri _Alarm") << QList<int> { -1 };
    QTest::newRow("the sender with a channel") << dev << QByteArray("Dev.ch1>Zendri _Alarm") << QList<int> { -1 };
    QTest::newRow("single blank sender") << QByteArray("EVENT Alarm a.wav 50 \" \"\n") << QByteArray("Dev>Zendri _Alarm") << QList<int> { 50 };
    QTest::newRow("sender with a trailing blank") << QByteArray("EVENT Alarm a.wav 50 \"Dev \"\n") << QByteArray("Dev>Zendri _Alarm") << QList<int> { -1 };
    QTest::newRow("event name in another case") << dev << QByteArray("Dev>Zendri _alarm") << QList<int> { -1 };
    QTest::newRow("an ask") << dev << QByteArray("Dev>Zendri Alarm") << QList<int> { -1 };
    QTest::newRow("several rows, one without a file")
        << QByteArray("EVENT \"\tFire  Alarm \" a.wav 10\nEVENT Alarm\nEVENT Fire f.wav\nEVENT Alarm b.wav 20 Dev\n")
        << QByteArray("Dev>Zendri _Alarm") << QList<int> { 10, -1, 20 };
}

// An event plays every row that lists it and whose sender field is blank or equals the
// sender, with the file and volume the row shows then (a relative file from the working
// directory, a volume that is no number as 0). The event names are those the row was built
// with, split at any white space; the Active box is not consulted. Each row traces its verdict.
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
    for (Sound *row : rows) {
        row->findChild<QLineEdit *>("SoundEvents")->setText("Edited");
        row->findChild<QLineEdit *>("SoundFile")->setText("edited.wav");
        row->findChild<QCheckBox *>("Active")->setChecked(false);
    }
    // The answer to the ask after the line shows that the line has been handled.
    QVERIFY(acceptLogIn(server, line + "\nDev>Zendri Hello\n", 1).endsWith(" Nice to meet you!\n"));
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows.at(i)->player().media().request().url(), volumes.at(i) < 0 ? QUrl() : QUrl::fromLocalFile(dir.filePath("edited.wav")));
        QCOMPARE(rows.at(i)->player().volume(), volumes.at(i) < 0 ? 100 : volumes.at(i));
    }
    QCOMPARE(trace.lines.size(), line.contains(" _") ? rows.size() : 0);
}

void TestBody::linkKeys_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QStringList>("afterDrop");

    QTest::newRow("none") << QByteArray("UNKNOWN_KEY 1\n") << QStringList();
    QTest::newRow("all") << QByteArray("RECONNECT_SEC 1\nLINK_TIMEOUT_SEC 5\nLINK_LOST_SOUND alarm.wav 10 5\nSHOW_SOUND_ERRORS 1\n")
                         << QStringList { "Lost the Stars link to 127.0.0.1:%1: The remote host closed the connection",
                                          "Trying Stars at 127.0.0.1:%1 again in 1 s" };
}

// After each log-in one flgon per FLGON entry, in order, before anything else. Without the
// link keys a drop leaves the client down and the log as it was; with them the client
// reports a sound that fails at every press of Play once, says why the link went, rings the
// alarm, logs in again and subscribes again.
void TestBody::linkKeys()
{
    QFETCH(QByteArray, keys);
    QFETCH(QStringList, afterDrop);
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "FLGON Dev\nflgon b\nEVENT Alarm missing.wav 50\n" + keys));
    Body body;
    const QByteArray logIn = "Zendri k0\nZendri>System flgon Dev\nZendri>System flgon b\n";
    QCOMPARE(acceptLogIn(server, {}, 2), logIn);
    Sound *row = body.findChild<Sound *>();
    QSignalSpy failures(&row->player(), QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error));
    for (int play = 1; play <= 2; ++play) {
        QTest::mouseClick(row->findChild<QPushButton *>("Play"), Qt::LeftButton);
        QTRY_COMPARE(failures.count(), play);
    }
    QStringList log = logWindowLines();
    if (!afterDrop.isEmpty()) {
        if (QAudioDeviceInfo::defaultOutputDevice().isNull())
            QCOMPARE(log.takeFirst(), QString("No audio output device: sounds cannot be heard"));
        QVERIFY(log.takeLast().startsWith("Can't play the sound for [Alarm] from [" + dir.filePath("missing.wav") + "]: "));
    }
    QCOMPARE(log, QStringList({ "opening key file [" + dir.filePath("Zendri.key") + "]", "sending key [Zendri][k0]",
                                "---- Snd Zendri>System flgon Dev", "---- Snd Zendri>System flgon b", "Connected To Stars" }));

    auto *alarm = body.findChild<LinkAlarm *>();
    QCOMPARE(alarm != nullptr, !afterDrop.isEmpty());
    const QStringList before = logWindowLines();
    server.closeClient();
    if (afterDrop.isEmpty()) {
        QVERIFY(!server.waitForClient(1500));
        QCOMPARE(logWindowLines(), before);
        return;
    }
    QTRY_COMPARE(logWindowLines().mid(before.size()), afterDrop.replaceInStrings("%1", QString::number(server.port())));
    QVERIFY(alarm->isRinging());
    QCOMPARE(acceptLogIn(server, {}, 2), logIn);
    QVERIFY(!alarm->isRinging());
    QTRY_COMPARE(logWindowLines().filter(QRegularExpression("^Stars link was down 00:00:0\\d$")).size(), 1);
}

// A relative sound file plays as an absolute file URL, again at every repeat until stopped.
void TestBody::alarmRepeatsUntilStopped()
{
    LinkAlarm linkAlarm({QStringLiteral("alarm.wav"), 40, 200});
    QSignalSpy states(&linkAlarm.player(), &QMediaPlayer::stateChanged);
    const auto playingStarts = [&states] {
        return std::count_if(states.cbegin(), states.cend(), [](const QVariantList &args) {
            return args.at(0).value<QMediaPlayer::State>() == QMediaPlayer::PlayingState;
        });
    };

    linkAlarm.setRinging(true);
    QCOMPARE(linkAlarm.player().media().request().url(), QUrl::fromLocalFile(dir.filePath("alarm.wav")));
    QCOMPARE(linkAlarm.player().volume(), 40);
    QTRY_VERIFY(playingStarts() >= 2);

    linkAlarm.setRinging(false);
    QTRY_COMPARE(linkAlarm.player().state(), QMediaPlayer::StoppedState);
    const auto starts = playingStarts();
    QVERIFY(!states.wait(3 * 200));
    QCOMPARE(playingStarts(), starts);
}

// A sound that cannot be decoded gives one line until it has played again; then it may fail
// once more. (A missing file is the main window's case above.)
void TestBody::playbackFailureReportedOnce()
{
    QMediaPlayer player;
    PlaybackWatch watch(&player, QStringLiteral("the sound for [Alarm]"), nullptr);
    QSignalSpy reported(&watch, &PlaybackWatch::log);
    const auto play = [&player](const char *name) {
        player.setMedia(QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath()));
        player.play();
        return QTest::qWaitFor([&player] { return player.mediaStatus() >= QMediaPlayer::EndOfMedia; });
    };
    QVERIFY(play("text.wav") && play("text.wav"));
    QTRY_COMPARE(reported.size(), 1);
    QCOMPARE(reported.at(0).at(0).toString(), "Can't play the sound for [Alarm] from [" + dir.filePath("text.wav") + "]: Could not determine type of stream.");
    QCOMPARE(reported.at(0).at(1).value<QColor>(), QColor(200, 0, 0));
    QVERIFY(play("alarm.wav") && play("text.wav"));
    QTRY_COMPARE(reported.size(), 2);
}

QTEST_MAIN(TestBody)
#include "tst_body.moc"
