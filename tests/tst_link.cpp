#include <QtTest>

#include <QLineEdit>
#include <QMediaContent>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include "clientfixture.h"
#include "support.h"
#include "sound/linkalarm.h"
#include "sound/playbackwatch.h"
#include "stars/linksupervisor.h"
#include "stars/stars.h"

namespace {

constexpr LinkTiming Fast {40, 100, 1000};

enum LinkEnd { ServerCloses, LoginRefused, SilentServer, NoAcceptance, NothingListens };

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// The delays of the "Trying ... again" lines, in order.
QStringList retryDelays(const QStringList &lines)
{
    QStringList delays;
    static const QRegularExpression retry(QStringLiteral("^Trying Stars at \\S+ again in (\\S+) s$"));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = retry.match(line);
        if (match.hasMatch())
            delays << match.captured(1);
    }
    return delays;
}

int playingStarts(const QSignalSpy &states)
{
    int starts = 0;
    for (const QList<QVariant> &args : states)
        starts += args.at(0).value<QMediaPlayer::State>() == QMediaPlayer::PlayingState;
    return starts;
}

} // namespace

Q_DECLARE_METATYPE(LinkEnd)

// The supervised link against a scripted server: what ends it, the retries and their delays,
// the red lines, the alarm, and the players' failures.
class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void linkEndsUnasked_data();
    void linkEndsUnasked();
    void backOffDoublesAndResets();
    void userDisconnectStopsRetries();
    void alarmRepeatsUntilStopped();
    void playbackFailureReportedOnce_data();
    void playbackFailureReportedOnce();

private:
    QString address() const { return QStringLiteral("127.0.0.1:") + stars->portField()->text(); }

    QTemporaryDir dir;
    ClientFixture *client = nullptr;
    ScriptedServer *server = nullptr;
    Stars *stars = nullptr;
    LinkSupervisor *supervisor = nullptr;
    QSignalSpy *alarm = nullptr;
    QStringList lines;
};

void TestLink::initTestCase()
{
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeWav(dir.filePath("alarm.wav")));
    QVERIFY(writeFile(dir.filePath("text.wav"), "not a sound\n"));
}

void TestLink::init()
{
    client = new ClientFixture;
    server = &client->server;
    stars = &client->stars;
    supervisor = new LinkSupervisor(stars, Fast, client);
    connect(supervisor, &LinkSupervisor::log, this, [this](const QString &msg) { lines << msg; });
    alarm = new QSignalSpy(supervisor, &LinkSupervisor::alarmChanged);
    lines.clear();
}

void TestLink::cleanup()
{
    delete alarm;
    delete client;
}

void TestLink::linkEndsUnasked_data()
{
    QTest::addColumn<LinkEnd>("end");
    QTest::addColumn<QString>("cause");

    QTest::newRow("server closes") << ServerCloses << "Lost the Stars link to %1: The remote host closed the connection";
    QTest::newRow("log-in refused, key masked") << LoginRefused << "Log-in refused by Stars at %1: System>Zendri Er: bad key *****";
    QTest::newRow("no key index") << SilentServer << "No log-in at Stars at %1 within 1 s";
    QTest::newRow("no acceptance") << NoAcceptance << "No log-in at Stars at %1 within 1 s";
    QTest::newRow("nothing listens") << NothingListens << "Can't connect to Stars at %1: Connection refused";
}

// One red line names the cause, the alarm rings, a retry follows after the first delay, and
// the next log-in says how long the link was down and stops the alarm.
void TestLink::linkEndsUnasked()
{
    QFETCH(LinkEnd, end);
    QFETCH(QString, cause);

    if (end == NothingListens)
        stars->portField()->setText(QString::number(closedPort()));
    const QString where = address();
    if (end == ServerCloses) {
        QVERIFY(client->logIn());
        server->closeClient();
    } else {
        stars->connectToStars();
    }
    if (end == LoginRefused || end == NoAcceptance) {
        QVERIFY(server->waitForClient());
        server->send("0\n");
        QVERIFY(server->waitForLines(1));
        if (end == LoginRefused)
            server->send("System>Zendri Er: bad key k0\n");
    }

    // Under load more tries may follow before the check; the first two lines count.
    QTRY_VERIFY(lines.size() >= 2);
    QCOMPARE(lines.at(0), cause.arg(where));
    QCOMPARE(lines.at(1), QStringLiteral("Trying Stars at %1 again in 0.04 s").arg(where));
    QCOMPARE(alarm->size(), 1);
    QCOMPARE(alarm->at(0).at(0).toBool(), true);

    const int clients = server->clientCount() + (server->hasClient() ? 0 : 1);
    stars->portField()->setText(QString::number(server->port()));
    QTRY_VERIFY(server->clientCount() >= clients);
    QVERIFY(client->logIn());
    QCOMPARE(lines.last(), QStringLiteral("Stars link was down 00:00:00"));
    QCOMPARE(alarm->size(), 2);
    QCOMPARE(alarm->at(1).at(0).toBool(), false);
}

void TestLink::backOffDoublesAndResets()
{
    stars->portField()->setText(QString::number(closedPort()));
    stars->connectToStars();
    QTRY_VERIFY(retryDelays(lines).size() >= 4);
    QCOMPARE(retryDelays(lines).mid(0, 4), QStringList({"0.04", "0.08", "0.1", "0.1"}));

    stars->portField()->setText(QString::number(server->port()));
    QVERIFY(server->waitForClient());
    QVERIFY(client->logIn());
    lines.clear();
    server->closeClient();
    QTRY_VERIFY(!retryDelays(lines).isEmpty());
    QCOMPARE(retryDelays(lines).first(), QStringLiteral("0.04"));
}

// Disconnect stops the retries and the alarm; Connect tries at once and arms them again.
void TestLink::userDisconnectStopsRetries()
{
    QVERIFY(client->logIn());
    stars->connectToStars();
    QVERIFY(server->waitForClientGone());
    QVERIFY(!server->waitForClient(10 * Fast.reconnectMs));
    QVERIFY(lines.isEmpty());
    QVERIFY(alarm->isEmpty());

    stars->connectToStars();
    QVERIFY(stars->connection()->state() != QAbstractSocket::UnconnectedState);
    QVERIFY(client->logIn());
    server->closeClient();
    QTRY_VERIFY(!retryDelays(lines).isEmpty());
    QCOMPARE(retryDelays(lines).first(), QStringLiteral("0.04"));
}

void TestLink::alarmRepeatsUntilStopped()
{
    LinkAlarm linkAlarm({QStringLiteral("alarm.wav"), 40, 200});
    QSignalSpy states(&linkAlarm.player(), &QMediaPlayer::stateChanged);

    linkAlarm.setRinging(true);
    QCOMPARE(linkAlarm.player().media().request().url(), QUrl::fromLocalFile(dir.filePath("alarm.wav")));
    QCOMPARE(linkAlarm.player().volume(), 40);
    QTRY_VERIFY(playingStarts(states) >= 2);

    linkAlarm.setRinging(false);
    QTRY_COMPARE(linkAlarm.player().state(), QMediaPlayer::StoppedState);
    const int starts = playingStarts(states);
    QVERIFY(!states.wait(3 * 200));
    QCOMPARE(playingStarts(states), starts);
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
    QCOMPARE(reported.at(0).at(0).toString(),
             QStringLiteral("Can't play the sound for [Alarm] from [%1]: %2").arg(QFileInfo(file).absoluteFilePath(), error));
    QCOMPARE(reported.at(0).at(1).value<QColor>(), QColor(200, 0, 0));
    play(file);
    QTRY_COMPARE(player.mediaStatus(), QMediaPlayer::InvalidMedia);
    QVERIFY(!reported.wait(200));

    play(QStringLiteral("alarm.wav"));
    QTRY_COMPARE(player.mediaStatus(), QMediaPlayer::EndOfMedia);
    play(file);
    QTRY_COMPARE(reported.size(), 2);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
