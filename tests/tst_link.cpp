#include <QtTest>

#include <QLineEdit>
#include <QMediaContent>
#include <QTcpServer>

#include "clientfixture.h"
#include "support.h"
#include "sound/linkalarm.h"
#include "sound/playbackwatch.h"
#include "stars/linksupervisor.h"

namespace {

constexpr int FirstDelayMs = 40;

// A client under a supervisor with short intervals; `lines` holds what the supervisor logs and,
// as "alarm on" and "alarm off", what it says of the alarm.
struct SupervisedClient : ClientFixture
{
    SupervisedClient()
    {
        connect(&supervisor, &LinkSupervisor::log, this, [this](const QString &msg) { lines << msg; });
        connect(&supervisor, &LinkSupervisor::alarmChanged, this, [this](bool on) { lines << (on ? "alarm on" : "alarm off"); });
    }
    // The delays of the "Trying ... again in N s" lines, in order.
    QStringList delays() const
    {
        QStringList result;
        for (const QString &line : lines.filter(" again in "))
            result << line.section(' ', -2, -2);
        return result;
    }

    LinkSupervisor supervisor{&stars, {FirstDelayMs, 100, 1000}};
    QStringList lines;
};

} // namespace

// The supervised link against a scripted server: what ends it, the retries and their delays,
// the red lines, the alarm, and the players' failures.
class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linkEndsUnasked_data();
    void linkEndsUnasked();
    void userDisconnectStopsRetries();
    void alarmRepeatsUntilStopped();
    void playbackFailureReportedOnce_data();
    void playbackFailureReportedOnce();

private:
    QTemporaryDir dir;
};

void TestLink::initTestCase()
{
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeWav("alarm.wav"));
    QVERIFY(writeFile("text.wav", "not a sound\n"));
}

void TestLink::linkEndsUnasked_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QStringList>("delays");

    const QStringList once{"0.04"};
    QTest::newRow("server closes") << "closes" << QByteArrayList() << "Lost the Stars link to %1: The remote host closed the connection" << once;
    QTest::newRow("log-in refused, key masked") << "" << QByteArrayList{"0\n", "System>Zendri Er: bad key k0\n"}
                                                << "Log-in refused by Stars at %1: System>Zendri Er: bad key *****" << once;
    QTest::newRow("no key index") << "" << QByteArrayList() << "No log-in at Stars at %1 within 1 s" << once;
    QTest::newRow("no acceptance") << "" << QByteArrayList{"0\n"} << "No log-in at Stars at %1 within 1 s" << once;
    QTest::newRow("nothing listens: the delay doubles up to its cap") << "nowhere" << QByteArrayList() << "Can't connect to Stars at %1: Connection refused"
                                                                      << QStringList{"0.04", "0.08", "0.1", "0.1"};
}

// One red line names the cause, the alarm rings, retries follow with a doubling delay, and the
// next log-in says how long the link was down, stops the alarm and starts the delay afresh.
void TestLink::linkEndsUnasked()
{
    QFETCH(QString, end);
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, cause);
    QFETCH(QStringList, delays);

    SupervisedClient c;
    const QString port = c.stars.portField()->text();
    if (end == "nowhere") {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        c.stars.portField()->setText(QString::number(closed.serverPort()));
    }
    const QString where = "127.0.0.1:" + c.stars.portField()->text();
    if (end == "closes") {
        QVERIFY(c.logIn());
        c.server.closeClient();
    } else {
        c.stars.connectToStars();
    }
    for (const QByteArray &reply : qAsConst(replies)) {
        QVERIFY(c.server.waitForClient());
        c.server.send(reply);
        QVERIFY(c.server.waitForLines(1));
    }
    // Retries go on meanwhile: only the first lines are certain.
    QTRY_VERIFY(c.delays().size() >= delays.size());
    QCOMPARE(c.lines.mid(0, 3), QStringList({cause.arg(where), "alarm on", "Trying Stars at " + where + " again in 0.04 s"}));
    QCOMPARE(c.delays().mid(0, delays.size()), delays);

    // The retry, not a request of ours, must find the server: a request would reset the delay.
    const int clients = c.server.clientCount() + (c.server.hasClient() ? 0 : 1);
    c.stars.portField()->setText(port);
    QTRY_COMPARE(c.server.clientCount(), clients);
    QVERIFY(c.logIn());
    QCOMPARE(c.lines.mid(c.lines.size() - 2), QStringList({"alarm off", "Stars link was down 00:00:00"}));
    QCOMPARE(c.lines.filter("alarm "), QStringList({"alarm on", "alarm off"}));
    c.lines.clear();
    c.server.closeClient();
    QTRY_COMPARE(c.delays(), QStringList{"0.04"});
}

// Disconnect stops the retries and the alarm; Connect tries at once and arms them again.
void TestLink::userDisconnectStopsRetries()
{
    SupervisedClient c;
    QVERIFY(c.logIn());
    c.stars.connectToStars();
    QTRY_VERIFY(!c.server.hasClient());
    QVERIFY(!c.server.waitForClient(10 * FirstDelayMs));
    QCOMPARE(c.lines, QStringList());

    c.stars.connectToStars();
    QVERIFY(c.stars.connection()->state() != QAbstractSocket::UnconnectedState);
    QVERIFY(c.logIn());
    c.server.closeClient();
    QTRY_COMPARE(c.delays(), QStringList({"0.04"}));
}

// A relative sound file plays as an absolute file URL, again at every repeat until stopped.
void TestLink::alarmRepeatsUntilStopped()
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

void TestLink::playbackFailureReportedOnce_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing file") << "missing.wav" << "Resource not found.";
    QTest::newRow("not a sound") << "text.wav" << "Could not determine type of stream.";
}

// A failing sound gives one line until it has played again; then it may fail once more.
void TestLink::playbackFailureReportedOnce()
{
    QFETCH(QString, file);
    QFETCH(QString, error);
    QMediaPlayer player;
    PlaybackWatch watch(&player, QStringLiteral("the sound for [Alarm]"), nullptr);
    QSignalSpy reported(&watch, &PlaybackWatch::log);
    const auto play = [&player](const QString &name) {
        player.setMedia(QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath()));
        player.play();
    };

    play(file);
    QVERIFY(reported.wait());
    QCOMPARE(reported.at(0).at(0).toString(), "Can't play the sound for [Alarm] from [" + QFileInfo(file).absoluteFilePath() + "]: " + error);
    QCOMPARE(reported.at(0).at(1).value<QColor>(), QColor(200, 0, 0));
    play(file);
    QTRY_COMPARE(player.mediaStatus(), QMediaPlayer::InvalidMedia);
    QVERIFY(!reported.wait(200));
    QCOMPARE(reported.size(), 1);

    play(QStringLiteral("alarm.wav"));
    QTRY_COMPARE(player.mediaStatus(), QMediaPlayer::EndOfMedia);
    play(file);
    QTRY_COMPARE(reported.size(), 2);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
