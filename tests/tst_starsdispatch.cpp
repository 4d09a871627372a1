#include <QtTest>

#include <QLineEdit>
#include <QTemporaryDir>

#include "support.h"
#include "messagerecorder.h"
#include "scriptedserver.h"
#include "stars/stars.h"

// What the client does with each line received after the log-in: the built-in answers and
// the messages it hands on.
class TestStarsDispatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exchanges_data();
    void exchanges();
    void repliesAreEchoed();

private:
    QTemporaryDir *dir = nullptr;
    ScriptedServer *server = nullptr;
    Stars *stars = nullptr;
    MessageRecorder *recorder = nullptr;
};

void TestStarsDispatch::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    const QString keyPath = dir->filePath("keys");
    QVERIFY(writeFile(keyPath, "k\n"));
    server = new ScriptedServer;
    stars = new Stars;
    recorder = new MessageRecorder(stars);
    stars->keyFileField()->setText(keyPath);
    stars->nodeNameField()->setText("Zendri");
}

void TestStarsDispatch::cleanup()
{
    delete stars;
    delete server;
    delete dir;
}

using Lines = QList<QByteArray>;

void TestStarsDispatch::exchanges_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<Lines>("replies");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    const Lines silent;
    const QByteArray hello = "Zendri>Client @Hello Hello! I am Zendri. Nice to meet you!";
    QTest::newRow("Hello") << false << QByteArray("Client>Zendri Hello") << Lines{hello} << none;
    QTest::newRow("Help") << false << QByteArray("Client>Zendri Help")
                          << Lines{"Zendri>Client @Help Commands : Hello Help IsBusy"} << none;
    QTest::newRow("Help on a word") << false << QByteArray("Client>Zendri Help IsBusy")
                                    << Lines{"Zendri>Client @Help : Answer if Zendri is busy"} << none;
    QTest::newRow("Help on an unknown word") << false << QByteArray("Client>Zendri Help Foo")
                                             << Lines{"Zendri>Client @Help Er: Command [Foo] not found."} << none;
    QTest::newRow("Help, first word counts") << false << QByteArray("Client>Zendri Help Hello Help")
                                             << Lines{"Zendri>Client @Help : Answer greeting message"} << none;
    QTest::newRow("Help on a word in other case") << false << QByteArray("Client>Zendri Help help")
                                                  << Lines{"Zendri>Client @Help Er: Command [help] not found."} << none;
    QTest::newRow("Help on a place marker") << false << QByteArray("Client>Zendri Help %1")
                                            << Lines{"Zendri>Client @Help Er: Command [%1] not found."} << none;
    QTest::newRow("IsBusy, not busy") << false << QByteArray("Client>Zendri IsBusy")
                                      << Lines{"Zendri>Client @IsBusy 0"} << none;
    QTest::newRow("IsBusy, busy") << true << QByteArray("Client>Zendri IsBusy x")
                                  << Lines{"Zendri>Client @IsBusy 1"} << none;
    QTest::newRow("channels") << false << QByteArray("Client.ch>Zendri.x Hello")
                              << Lines{"Zendri.x>Client.ch @Hello Hello! I am Zendri. Nice to meet you!"} << none;
    QTest::newRow("extra words") << false << QByteArray("Client>Zendri Hello extra words") << Lines{hello} << none;
    QTest::newRow("quoted and tabbed") << false << QByteArray("\"Client>Zendri\"\t\"Hello\"") << Lines{hello} << none;
    QTest::newRow("two asks in one packet") << false << QByteArray("Client>Zendri IsBusy\nClient>Zendri Hello")
                                            << Lines{"Zendri>Client @IsBusy 0", hello} << none;
    QTest::newRow("addressed elsewhere, answered as that node") << false << QByteArray("C>Other.y Hello")
                                                                << Lines{"Other.y>C @Hello Hello! I am Zendri. Nice to meet you!"}
                                                                << none;

    QTest::newRow("lower-case word") << false << QByteArray("Client>Zendri help") << silent
                                     << QStringList{"ask help 4"};
    QTest::newRow("unknown ask") << false << QByteArray("Client>Zendri Foo a \"b c\"") << silent
                                 << QStringList{"ask Foo 4 a,b c"};
    QTest::newRow("reply") << false << QByteArray("Dev>Zendri @flgon 1") << silent << QStringList{"ans flgon 4 1"};
    QTest::newRow("event") << false << QByteArray("Dev>Zendri _Alarm") << silent << QStringList{"event Alarm 4"};
    QTest::newRow("marker only") << false << QByteArray("Dev>Zendri @") << silent << QStringList{"ans  4"};
    QTest::newRow("double marker") << false << QByteArray("Dev>Zendri _@Hello") << silent
                                   << QStringList{"event @Hello 4"};

    // Built-in words in replies and events are handed on, never answered.
    QTest::newRow("reply Hello") << false << QByteArray("Dev>Zendri @Hello Hi") << silent
                                 << QStringList{"ans Hello 0 Hi"};
    QTest::newRow("reply Help") << false << QByteArray("Dev>Zendri @Help") << silent << QStringList{"ans Help 1"};
    QTest::newRow("reply IsBusy") << false << QByteArray("Dev>Zendri @IsBusy 1") << silent
                                  << QStringList{"ans IsBusy 2 1"};
    QTest::newRow("event Hello") << false << QByteArray("Dev>Zendri _Hello") << silent << QStringList{"event Hello 0"};
    QTest::newRow("event Help") << false << QByteArray("Dev>Zendri _Help x") << silent << QStringList{"event Help 1 x"};

    QTest::newRow("no body") << false << QByteArray("Client>Zendri") << silent << none;
    QTest::newRow("no route mark") << false << QByteArray("ClientZendri Hello") << silent << none;
    QTest::newRow("empty command item") << false << QByteArray("Client>Zendri \"\" x") << silent << none;
    QTest::newRow("blank line") << false << QByteArray("   \t ") << silent << none;
}

void TestStarsDispatch::exchanges()
{
    QFETCH(bool, busy);
    QFETCH(QByteArray, received);
    QFETCH(Lines, replies);
    QFETCH(QStringList, messages);

    // Set before the log-in, so no busy event goes out.
    stars->setBusy(busy);
    QVERIFY(logIn(*server, *stars));
    server->send(received + "\nDev>Zendri _Probe\n");
    QVERIFY(recorder->waitFor("event Probe 4"));
    QCOMPARE(recorder->entries, messages << "event Probe 4");

    // A line of our own after the replies proves that nothing else was sent.
    stars->sendCmd("", "Probe", "end");
    QVERIFY(QTest::qWaitFor([this] { return server->lines().contains("Zendri>Probe end"); }, 5000));
    QCOMPARE(server->lines(), replies << "Zendri>Probe end");
}

void TestStarsDispatch::repliesAreEchoed()
{
    QSignalSpy answered(stars, SIGNAL(sendingAnsToStars(QString)));
    QSignalSpy log(stars, SIGNAL(log(QString, QColor)));
    QVERIFY(logIn(*server, *stars));
    stars->setLogSendingMsg(true);
    log.clear();
    server->send("Client>Zendri IsBusy\n");
    QVERIFY(server->waitForLines(1));
    QCOMPARE(answered.count(), 1);
    QCOMPARE(answered.at(0).at(0).toString(), QString("Zendri>Client @IsBusy 0"));
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), QString("---- Snd Zendri>Client @IsBusy 0"));
}

QTEST_MAIN(TestStarsDispatch)
#include "tst_starsdispatch.moc"
