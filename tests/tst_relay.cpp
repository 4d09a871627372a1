#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "relayfixture.h"

namespace {

const QStringList Nodes { "A", "B", "C", "Dev" };

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void logIn();
    void refusedLogIn_data();
    void refusedLogIn();
    void duplicateNode();
    void routing_data();
    void routing();
    void eventFanOut();
    void subscriptionBeforeLogIn();
    void subscriptionsEndOnDisconnect();
    void oversizeLine();
    void slowReaderIsDropped();
    void abruptDisconnects();
    void cliSend();
    void cliStdin();
    void cliRefused();

private:
    int runCli(const QStringList &arguments, const QByteArray &input, QByteArray *out);

    QTemporaryDir m_keys;
    QProcess m_relay;
    quint16 m_port = 0;
};

void TestRelay::initTestCase()
{
    QVERIFY(m_keys.isValid());
    for (const QString &node : Nodes) {
        QFile file(m_keys.filePath(node + ".key"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray name = node.toLatin1().toLower();
        file.write(name + "0\n" + name + "1\n" + name + "2\n");
    }
    QFile empty(m_keys.filePath("Empty.key"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    QFile system(m_keys.filePath("System.key"));
    QVERIFY(system.open(QIODevice::WriteOnly));
    system.write("system0\nsystem1\nsystem2\n");
    system.close();

    m_port = startRelay(m_relay, STARS_RELAY, m_keys.path());
    QVERIFY(m_port != 0);
}

void TestRelay::cleanupTestCase()
{
    m_relay.terminate();
    m_relay.waitForFinished();
}

// Whatever a test did, the relay must still run and serve a new node.
void TestRelay::cleanup()
{
    QCOMPARE(m_relay.state(), QProcess::Running);
    RelayPeer probe;
    QCOMPARE(probe.logIn(m_port, "C"), QByteArray("System>C Ok:"));
    probe.send("C>C Ping");
    QCOMPARE(probe.line(), QByteArray("C>C Ping"));
    for (const QString &node : Nodes) {
        if (node != "C")
            QTRY_VERIFY(probe.isGone("C", node.toLatin1()));
    }
}

void TestRelay::logIn()
{
    RelayPeer peer;
    QVERIFY(peer.open(m_port));
    bool ok = false;
    const qint64 index = peer.line().toLongLong(&ok);
    QVERIFY(ok);
    QVERIFY(index >= 0);
    peer.send("A " + relayKeyOf("A", index));
    QCOMPARE(peer.line(), QByteArray("System>A Ok:"));
}

void TestRelay::refusedLogIn_data()
{
    QTest::addColumn<QByteArray>("keyLine");
    QTest::addColumn<QByteArray>("refusal");

    QTest::newRow("wrong key") << QByteArray("A nokey") << QByteArray("System>A Er: log-in refused: wrong key");
    QTest::newRow("unknown node") << QByteArray("Nobody x") << QByteArray("System>Nobody Er: log-in refused: unknown node");
    QTest::newRow("no blank") << QByteArray("A") << QByteArray("System>? Er: log-in refused: bad key line");
    QTest::newRow("empty line") << QByteArray("") << QByteArray("System>? Er: log-in refused: bad key line");
    QTest::newRow("garbage") << QByteArray("GET / HTTP/1.0") << QByteArray("System>GET Er: log-in refused: unknown node");
    QTest::newRow("path") << QByteArray("../outside x") << QByteArray("System>? Er: log-in refused: bad node name");
    QTest::newRow("dot") << QByteArray("A.x a0") << QByteArray("System>? Er: log-in refused: bad node name");
    QTest::newRow("route") << QByteArray("A>B a0") << QByteArray("System>? Er: log-in refused: bad node name");
    QTest::newRow("leading blank") << QByteArray(" A a0") << QByteArray("System>? Er: log-in refused: bad node name");
    QTest::newRow("NUL byte") << QByteArray("A\0x a0", 6) << QByteArray("System>? Er: log-in refused: bad key line");
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe a0") << QByteArray("System>? Er: log-in refused: bad node name");
    QTest::newRow("System") << QByteArray("System system0") << QByteArray("System>System Er: log-in refused: reserved node name");
    QTest::newRow("no keys") << QByteArray("Empty x") << QByteArray("System>Empty Er: log-in refused: no keys for node");
}

void TestRelay::refusedLogIn()
{
    QFETCH(QByteArray, keyLine);
    QFETCH(QByteArray, refusal);
    RelayPeer peer;
    QVERIFY(peer.open(m_port));
    peer.line();
    peer.send(keyLine);
    QCOMPARE(peer.line(), refusal);
    QVERIFY(peer.waitClosed());
}

void TestRelay::duplicateNode()
{
    RelayPeer first;
    QCOMPARE(first.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    RelayPeer second;
    QCOMPARE(second.logIn(m_port, "A"), QByteArray("System>A Er: log-in refused: node already connected"));
    QVERIFY(second.waitClosed());
}

void TestRelay::routing_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("toA");
    QTest::addColumn<QByteArray>("toB");

    QTest::newRow("ask") << QByteArray("A>B Hello") << QByteArray() << QByteArray("A>B Hello");
    QTest::newRow("reply with channels") << QByteArray("A.x>B.y @Hello hi  there") << QByteArray() << QByteArray("A.x>B.y @Hello hi  there");
    QTest::newRow("carriage return") << QByteArray("A>B Hello\r") << QByteArray() << QByteArray("A>B Hello");
    QTest::newRow("NUL ends the text") << QByteArray("A>B Hello\0junk", 14) << QByteArray() << QByteArray("A>B Hello");
    QTest::newRow("Latin-1 sent as UTF-8") << QByteArray("A>B Say caf\xe9") << QByteArray() << QByteArray("A>B Say caf\xc3\xa9");
    QTest::newRow("unreachable ask") << QByteArray("A.x>Nobody Hello") << QByteArray("System>A.x @Hello Er: node Nobody is not connected") << QByteArray();
    QTest::newRow("unreachable reply") << QByteArray("A>Nobody @Hello hi") << QByteArray() << QByteArray();
    QTest::newRow("spoofed sender") << QByteArray("B>B Hello") << QByteArray("System>A @Hello Er: sender is not A") << QByteArray();
    QTest::newRow("no route") << QByteArray("Hello there") << QByteArray("System>A @ Er: no '>' in the route") << QByteArray();
    QTest::newRow("no command") << QByteArray("A>B") << QByteArray("System>A @ Er: no command") << QByteArray();
    QTest::newRow("empty line") << QByteArray("") << QByteArray() << QByteArray();
    QTest::newRow("unknown System command") << QByteArray("A>System Hello") << QByteArray("System>A @Hello Er: unknown command") << QByteArray();
    QTest::newRow("flgon") << QByteArray("A>System flgon B") << QByteArray("System>A @flgon Ok:") << QByteArray();
    QTest::newRow("flgon bad name") << QByteArray("A>System flgon ../x") << QByteArray("System>A @flgon Er: bad node name") << QByteArray();
    QTest::newRow("flgoff") << QByteArray("A>System flgoff B") << QByteArray("System>A @flgoff Ok:") << QByteArray();
}

// A line from A, then a marker line to each node: what arrives before the marker is what
// the line produced.
void TestRelay::routing()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, toA);
    QFETCH(QByteArray, toB);
    RelayPeer a;
    RelayPeer b;
    QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    QCOMPARE(b.logIn(m_port, "B"), QByteArray("System>B Ok:"));
    a.send(line);
    a.send("A>A Mark");
    a.send("A>B Mark");
    if (!toA.isEmpty())
        QCOMPARE(a.line(), toA);
    QCOMPARE(a.line(), QByteArray("A>A Mark"));
    if (!toB.isEmpty())
        QCOMPARE(b.line(), toB);
    QCOMPARE(b.line(), QByteArray("A>B Mark"));
}

void TestRelay::eventFanOut()
{
    RelayPeer dev;
    QCOMPARE(dev.logIn(m_port, "Dev"), QByteArray("System>Dev Ok:"));
    RelayPeer a;
    RelayPeer b;
    QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    QCOMPARE(b.logIn(m_port, "B"), QByteArray("System>B Ok:"));
    a.send("A>System flgon Dev");
    QCOMPARE(a.line(), QByteArray("System>A @flgon Ok:"));
    dev.send("Dev>System _Alarm 1");
    QCOMPARE(a.line(), QByteArray("Dev>A _Alarm 1"));
    b.send("B.ch>System flgon Dev");
    QCOMPARE(b.line(), QByteArray("System>B.ch @flgon Ok:"));
    dev.send("Dev.x>System _Alarm 2   3");
    QCOMPARE(a.line(), QByteArray("Dev.x>A _Alarm 2   3"));
    QCOMPARE(b.line(), QByteArray("Dev.x>B _Alarm 2   3"));
    a.send("A>System flgoff Dev");
    QCOMPARE(a.line(), QByteArray("System>A @flgoff Ok:"));
    dev.send("Dev>System _Alarm 4");
    dev.send("Dev>A Mark");
    QCOMPARE(b.line(), QByteArray("Dev>B _Alarm 4"));
    QCOMPARE(a.line(), QByteArray("Dev>A Mark"));
}

void TestRelay::subscriptionBeforeLogIn()
{
    RelayPeer a;
    QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    a.send("A>System flgon Dev");
    QCOMPARE(a.line(), QByteArray("System>A @flgon Ok:"));
    RelayPeer dev;
    QCOMPARE(dev.logIn(m_port, "Dev"), QByteArray("System>Dev Ok:"));
    dev.send("Dev>System _Alarm");
    QCOMPARE(a.line(), QByteArray("Dev>A _Alarm"));
}

void TestRelay::subscriptionsEndOnDisconnect()
{
    RelayPeer dev;
    QCOMPARE(dev.logIn(m_port, "Dev"), QByteArray("System>Dev Ok:"));
    {
        RelayPeer a;
        QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
        a.send("A>System flgon Dev");
        QCOMPARE(a.line(), QByteArray("System>A @flgon Ok:"));
        a.socket.disconnectFromHost();
    }
    QTRY_VERIFY(dev.isGone("Dev", "A"));
    RelayPeer a;
    QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    dev.send("Dev>System _Alarm");
    dev.send("Dev>A Mark");
    QCOMPARE(a.line(), QByteArray("Dev>A Mark"));
}

void TestRelay::oversizeLine()
{
    RelayPeer a;
    QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    a.socket.write(QByteArray((1 << 20) + 2, 'x'));
    QCOMPARE(a.line(), QByteArray("System>A @ Er: line too long"));
    QVERIFY(a.waitClosed());

    RelayPeer b;
    QVERIFY(b.open(m_port));
    b.line();
    b.socket.write(QByteArray((1 << 20) + 2, 'x'));
    QCOMPARE(b.line(), QByteArray("System>? Er: log-in refused: line too long"));
    QVERIFY(b.waitClosed());
}

void TestRelay::slowReaderIsDropped()
{
    RelayPeer dev;
    QCOMPARE(dev.logIn(m_port, "Dev"), QByteArray("System>Dev Ok:"));
    RelayPeer slow;
    QCOMPARE(slow.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    slow.send("A>System flgon Dev");
    QCOMPARE(slow.line(), QByteArray("System>A @flgon Ok:"));
    slow.socket.setReadBufferSize(1);

    const QByteArray event = "Dev>System _Big " + QByteArray(256 * 1024, 'x') + '\n';
    for (int i = 0; i < 200; ++i)
        dev.socket.write(event);
    QTRY_VERIFY_WITH_TIMEOUT(dev.socket.bytesToWrite() == 0, 30000);
    // Once dropped, the name is free again; the publisher is untouched.
    QTRY_VERIFY_WITH_TIMEOUT(dev.isGone("Dev", "A"), 30000);
}

void TestRelay::abruptDisconnects()
{
    RelayPeer dev;
    QCOMPARE(dev.logIn(m_port, "Dev"), QByteArray("System>Dev Ok:"));
    {
        RelayPeer before;
        QVERIFY(before.open(m_port));
        before.socket.write("A a");
        before.socket.flush();
        before.socket.abort();
    }
    {
        RelayPeer a;
        QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
        a.send("A>System flgon Dev");
        QCOMPARE(a.line(), QByteArray("System>A @flgon Ok:"));
        a.socket.write("A>Dev half a li");
        a.socket.flush();
        a.socket.abort();
    }
    for (int i = 0; i < 100; ++i)
        dev.send("Dev>System _Alarm");
    dev.send("Dev>Dev Mark");
    QCOMPARE(dev.line(), QByteArray("Dev>Dev Mark"));
}

int TestRelay::runCli(const QStringList &arguments, const QByteArray &input, QByteArray *out)
{
    QProcess cli;
    cli.start(STARS_CLI, arguments + QStringList { "--port", QString::number(m_port), "--wait", "1000" });
    if (!cli.waitForStarted())
        return -1;
    cli.write(input);
    cli.closeWriteChannel();
    if (!cli.waitForFinished(30000))
        return -1;
    *out = cli.readAllStandardOutput() + cli.readAllStandardError();
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

void TestRelay::cliSend()
{
    RelayPeer a;
    QCOMPARE(a.logIn(m_port, "A"), QByteArray("System>A Ok:"));
    a.send("A>System flgon Dev");
    QCOMPARE(a.line(), QByteArray("System>A @flgon Ok:"));
    QByteArray out;
    QCOMPARE(runCli({ "Dev", m_keys.filePath("Dev.key"), "--send", "Dev>System _Alarm", "--send", "Dev>Nobody Hello" }, {}, &out), 0);
    QCOMPARE(out, QByteArray("System>Dev @Hello Er: node Nobody is not connected\n"));
    QCOMPARE(a.line(), QByteArray("Dev>A _Alarm"));
}

void TestRelay::cliStdin()
{
    QByteArray out;
    QCOMPARE(runCli({ "Dev", m_keys.filePath("Dev.key") }, "Dev>System flgon Dev\nDev>System _Alarm\nDev>Dev Last", &out), 0);
    QCOMPARE(out, QByteArray("System>Dev @flgon Ok:\nDev>Dev _Alarm\nDev>Dev Last\n"));
}

void TestRelay::cliRefused()
{
    QByteArray out;
    QCOMPARE(runCli({ "Dev", m_keys.filePath("A.key"), "--send", "x" }, {}, &out), 1);
    QVERIFY2(out.contains("log-in refused"), out);

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString port = QString::number(closed.serverPort());
    closed.close();
    QProcess cli;
    cli.start(STARS_CLI, { "Dev", m_keys.filePath("Dev.key"), "--port", port, "--send", "x" });
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY(cli.readAllStandardError().contains("cannot connect"));
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
