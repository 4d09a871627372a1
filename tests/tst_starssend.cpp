#include <QtTest>

#include <QLineEdit>
#include <QTemporaryDir>

#include "support.h"
#include "scriptedserver.h"
#include "stars/amsg.h"
#include "stars/connectstat.h"
#include "stars/stars.h"

// The lines the send slots write, the readiness gate, the echo and the parameter guards.
class TestStarsSend : public QObject
{
    Q_OBJECT

public:
    enum Slot { Cmd, CmdV, Event, Ans, Ok };
    Q_ENUM(Slot)

private slots:
    void init();
    void cleanup();

    void lines_data();
    void lines();
    void gate_data();
    void gate();
    void echo_data();
    void echo();
    void nodeNameEditedWhileConnected();
    void busyEvent();
    void busyWhileNotConnected();
    void guards_data();
    void guards();

private:
    void useNodeName(const QString &name);
    void logInAs(const QString &name);
    void invoke(Slot slot, const QStringList &args);
    // Sends a last line and returns every line the server received before it.
    QList<QByteArray> linesBeforeProbe();

    QTemporaryDir *dir = nullptr;
    ScriptedServer *server = nullptr;
    Stars *stars = nullptr;
};

void TestStarsSend::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    const QString keyPath = dir->filePath("keys");
    QVERIFY(writeFile(keyPath, "k\n"));
    server = new ScriptedServer;
    stars = new Stars;
    stars->keyFileField()->setText(keyPath);
    useNodeName("Zendri");
}

void TestStarsSend::cleanup()
{
    delete stars;
    delete server;
    delete dir;
}

void TestStarsSend::useNodeName(const QString &name)
{
    stars->nodeNameField()->setText(name);
}

void TestStarsSend::logInAs(const QString &name)
{
    useNodeName(name);
    QVERIFY(logIn(*server, *stars));
}

// args: fromCh, to, cmd, val for the asks and events; received line, answer for the replies.
void TestStarsSend::invoke(Slot slot, const QStringList &args)
{
    AMsg received;
    switch (slot) {
    case Cmd:
        stars->sendCmd(args.value(0), args.value(1), args.value(2));
        break;
    case CmdV:
        stars->sendCmdV(args.value(0), args.value(1), args.value(2), args.value(3));
        break;
    case Event:
        stars->sendEvent(args.value(0), args.value(1));
        break;
    case Ans:
        QVERIFY(received.parse(args.value(0)));
        stars->sendAns(received, args.value(1));
        break;
    case Ok:
        QVERIFY(received.parse(args.value(0)));
        stars->sendOk(received);
        break;
    }
}

QList<QByteArray> TestStarsSend::linesBeforeProbe()
{
    const QByteArray probe = stars->nodeNameField()->text().toLatin1() + ">Probe end";
    stars->sendCmd("", "Probe", "end");
    if (!QTest::qWaitFor([this, &probe] { return server->lines().contains(probe); }, 5000))
        return {"probe missing"};
    QList<QByteArray> lines = server->lines();
    lines.removeLast();
    return lines;
}

void TestStarsSend::lines_data()
{
    QTest::addColumn<QString>("me");
    QTest::addColumn<Slot>("slot");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("line");

    const QString z = "Zendri";
    QTest::newRow("ask") << z << Cmd << QStringList{"", "System", "flgon X"} << QByteArray("Zendri>System flgon X");
    QTest::newRow("ask from a channel") << z << Cmd << QStringList{"ch1", "System", "flgon X"}
                                        << QByteArray("Zendri.ch1>System flgon X");
    QTest::newRow("ask, empty addressee and word") << z << Cmd << QStringList{"", "", ""} << QByteArray("Zendri> ");
    QTest::newRow("ask with value") << z << CmdV << QStringList{"", "Dev", "cmd", "5"} << QByteArray("Zendri>Dev cmd 5");
    QTest::newRow("ask with empty value") << z << CmdV << QStringList{"", "System", "flgon X", ""}
                                          << QByteArray("Zendri>System flgon X");
    QTest::newRow("ask with blank value") << z << CmdV << QStringList{"", "Dev", "cmd", " "}
                                          << QByteArray("Zendri>Dev cmd  ");
    QTest::newRow("event") << z << Event << QStringList{"", "ChangedIsBusy 1"}
                           << QByteArray("Zendri>System _ChangedIsBusy 1");
    QTest::newRow("event from a channel") << z << Event << QStringList{"c", "Alarm"} << QByteArray("Zendri.c>System _Alarm");
    QTest::newRow("reply with channels") << z << Ans << QStringList{"Client.x>Zendri.ch Hello", "A"}
                                         << QByteArray("Zendri.ch>Client.x @Hello A");
    QTest::newRow("reply") << z << Ans << QStringList{"Client>Zendri Hello", "A"} << QByteArray("Zendri>Client @Hello A");
    QTest::newRow("empty reply") << z << Ans << QStringList{"Client>Zendri Hello", ""} << QByteArray("Zendri>Client @Hello ");
    QTest::newRow("ok") << z << Ok << QStringList{"Client>Zendri Hello"} << QByteArray("Zendri>Client @Hello Ok:");
    QTest::newRow("reply to another node name") << z << Ok << QStringList{"C.>Other.q.r @Ask x"}
                                                << QByteArray("Other.q.r>C. @Ask Ok:");
    QTest::newRow("reply to an event") << z << Ans << QStringList{"Dev>Zendri _Alarm", "seen"}
                                       << QByteArray("Zendri>Dev @Alarm seen");

    QTest::newRow("%1 in the sender") << "Z%1" << Cmd << QStringList{"", "System", "x"} << QByteArray("Z%1>System x");
    QTest::newRow("%1 in the channel") << z << Cmd << QStringList{"%1", "%2", "x"} << QByteArray("Zendri.%1>%2 x");
    QTest::newRow("%2 in the addressee") << z << Cmd << QStringList{"", "%2%1", "x"} << QByteArray("Zendri>%2%1 x");
    QTest::newRow("%1 in the word and value") << z << CmdV << QStringList{"%2", "T", "%1", "%2"}
                                              << QByteArray("Zendri.%2>T %1 %2");
    QTest::newRow("%1 in the event") << z << Event << QStringList{"%1", "%1 %2"} << QByteArray("Zendri.%1>System _%1 %2");
    QTest::newRow("%1 in a reply") << z << Ans << QStringList{"%1.%2>%2.%1 %1", "%1 %2"}
                                   << QByteArray("%2.%1>%1.%2 @%1 %1 %2");

    QTest::newRow("outside Latin-1") << z << CmdV << QStringList{"", "Dev", QString::fromUtf8("\xe2\x82\xac"), "\u0416\u00e9"}
                                     << QByteArray("Zendri>Dev ? ?\xe9");
    QTest::newRow("outside Latin-1 in the sender") << QString::fromUtf8("Z\xc5\x91") << Event << QStringList{"", "x"}
                                                   << QByteArray("Z?>System _x");
}

void TestStarsSend::lines()
{
    QFETCH(QString, me);
    QFETCH(Slot, slot);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, line);
    // Each slot's signal carries the line as written.
    const char *signal = slot == Cmd || slot == CmdV ? SIGNAL(sendingAskToStars(QString))
                         : slot == Event             ? SIGNAL(sendingEventToStars(QString))
                                                     : SIGNAL(sendingAnsToStars(QString));
    QSignalSpy sent(stars, signal);
    QVERIFY(sent.isValid());

    logInAs(me);
    invoke(slot, args);
    QVERIFY(server->waitForLines(1));
    QCOMPARE(server->received(), line + "\n");
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toString().toLatin1(), line);
}

void TestStarsSend::gate_data()
{
    QTest::addColumn<bool>("connecting");
    QTest::addColumn<Slot>("slot");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("refusal");

    for (const bool connecting : {false, true}) {
        const QByteArray state = connecting ? "connecting: " : "disconnected: ";
        QTest::newRow(state + "event") << connecting << Event << QStringList{"", "ChangedIsBusy 0"}
                                       << "Stars is not ready (Zendri>System _ChangedIsBusy 0)";
        QTest::newRow(state + "ask") << connecting << CmdV << QStringList{"c", "Dev", "cmd", "5"}
                                     << "Stars is not ready (Zendri.c>Dev cmd 5)";
        QTest::newRow(state + "reply") << connecting << Ok << QStringList{"Client>Zendri Hello"}
                                       << "Stars is not ready (Zendri>Client @Hello Ok:)";
    }
}

// Before the log-in is accepted nothing is written and nothing is echoed.
void TestStarsSend::gate()
{
    QFETCH(bool, connecting);
    QFETCH(Slot, slot);
    QFETCH(QStringList, args);
    QFETCH(QString, refusal);
    stars->setLogSendingMsg(true);
    QSignalSpy log(stars, SIGNAL(log(QString, QColor)));
    QSignalSpy ask(stars, SIGNAL(sendingAskToStars(QString)));
    QSignalSpy event(stars, SIGNAL(sendingEventToStars(QString)));
    QSignalSpy ans(stars, SIGNAL(sendingAnsToStars(QString)));

    stars->hostField()->setText("127.0.0.1");
    stars->portField()->setText(QString::number(server->port()));
    if (connecting) {
        stars->connectToStars();
        QVERIFY(server->waitForClient());
        server->send("0\n");
        QVERIFY(server->waitForLines(1));
        QCOMPARE(stars->connectionState(), int(ConnectStat::Connecting));
    }
    log.clear();
    invoke(slot, args);

    QList<QVariant> emitted;
    for (QSignalSpy *spy : {&ask, &event, &ans}) {
        if (!spy->isEmpty())
            emitted << spy->takeFirst().at(0);
    }
    QCOMPARE(emitted, QList<QVariant>{refusal});
    QCOMPARE(ask.count() + event.count() + ans.count(), 0);
    QCOMPARE(log.count(), 0);

    if (connecting) {
        server->clearReceived();
        server->send("System>Zendri Ok:\n");
        QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Connected));
    } else {
        QVERIFY(logIn(*server, *stars));
    }
    QCOMPARE(linesBeforeProbe(), QList<QByteArray>());
}

void TestStarsSend::echo_data()
{
    QTest::addColumn<bool>("logSending");
    QTest::newRow("echo on") << true;
    QTest::newRow("echo off") << false;
}

// The echo in the send colour comes before the slot's signal.
void TestStarsSend::echo()
{
    QFETCH(bool, logSending);
    QStringList order;
    QList<QColor> colours;
    connect(stars, &Stars::log, this, [&](const QString &text, const QColor &colour) {
        order << text;
        colours << colour;
    });
    connect(stars, &Stars::sendingAskToStars, this, [&order](const QString &line) { order << "signal " + line; });

    logInAs("Zendri");
    stars->setLogSendingMsg(logSending);
    order.clear();
    colours.clear();
    stars->sendCmdV("", "Dev", "cmd", "5");
    QVERIFY(server->waitForLines(1));
    if (logSending) {
        QCOMPARE(order, QStringList({"---- Snd Zendri>Dev cmd 5", "signal Zendri>Dev cmd 5"}));
        QCOMPARE(colours, QList<QColor>{QColor(0, 200, 120)});
        QCOMPARE(colours.first().alpha(), 255);
    } else {
        QCOMPARE(order, QStringList{"signal Zendri>Dev cmd 5"});
    }
}

void TestStarsSend::nodeNameEditedWhileConnected()
{
    logInAs("Zendri");
    useNodeName("Other");
    stars->sendCmd("", "System", "x");
    stars->sendCmdV("", "Dev", "y", "1");
    stars->sendEvent("", "Alarm");
    AMsg received;
    QVERIFY(received.parse("Client>Zendri Hello"));
    stars->sendAns(received, "A");
    QCOMPARE(linesBeforeProbe(), QList<QByteArray>({"Other>System x", "Other>Dev y 1", "Other>System _Alarm",
                                                    "Zendri>Client @Hello A"}));
}

void TestStarsSend::busyEvent()
{
    logInAs("Zendri");
    stars->setBusy(true);
    stars->setBusy(true);
    QVERIFY(stars->busy());
    stars->setBusy(false);
    stars->setBusy(false);
    QVERIFY(!stars->busy());
    QCOMPARE(linesBeforeProbe(), QList<QByteArray>({"Zendri>System _ChangedIsBusy 1",
                                                    "Zendri>System _ChangedIsBusy 0"}));
}

void TestStarsSend::busyWhileNotConnected()
{
    QSignalSpy event(stars, SIGNAL(sendingEventToStars(QString)));
    stars->setBusy(true);
    QVERIFY(stars->busy());
    QCOMPARE(event.count(), 1);
    logInAs("Zendri");
    stars->setBusy(true);
    QCOMPARE(linesBeforeProbe(), QList<QByteArray>());
}

void TestStarsSend::guards_data()
{
    QTest::addColumn<QString>("guard");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray none;
    QTest::newRow("eq passes") << "eq" << "C>Zendri Do a b" << 2 << 1 << none;
    QTest::newRow("eq fails") << "eq" << "C>Zendri Do a" << 2 << 0 << QByteArray("Zendri>C @Do Er: Number of Params shuld be 2");
    QTest::newRow("eq fails on too many") << "eq" << "C>Zendri Do a b c" << 2 << 0
                                          << QByteArray("Zendri>C @Do Er: Number of Params shuld be 2");
    QTest::newRow("max fails") << "max" << "C>Zendri Do a b" << 1 << -1 << QByteArray("Zendri>C @Do Er: Number of Params shuld be 1");
    QTest::newRow("max passes") << "max" << "C>Zendri Do a" << 1 << 1 << none;
    QTest::newRow("max passes on none") << "max" << "C>Zendri Do" << 1 << 0 << none;
    QTest::newRow("min passes") << "min" << "C>Zendri Do a b" << 1 << 2 << none;
    QTest::newRow("min fails") << "min" << "C.c>Zendri.z Do" << 1 << -1 << QByteArray("Zendri.z>C.c @Do Er: Number of Params shuld be 1");
}

void TestStarsSend::guards()
{
    QFETCH(QString, guard);
    QFETCH(QString, line);
    QFETCH(int, n);
    QFETCH(int, result);
    QFETCH(QByteArray, reply);

    logInAs("Zendri");
    AMsg msg;
    QVERIFY(msg.parse(line));
    const int got = guard == "eq" ? int(stars->checkParamsEq(msg, n))
                    : guard == "max" ? stars->checkParamsMax(msg, n)
                                     : stars->checkParamsMin(msg, n);
    QCOMPARE(got, result);
    QCOMPARE(linesBeforeProbe(), reply.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{reply});
}

QTEST_MAIN(TestStarsSend)
#include "tst_starssend.moc"
