#include <QtTest>

#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "support.h"
#include "relayfixture.h"

namespace {

constexpr int Wait = 10000;
constexpr int MaxHelloAttempts = 20;

// The node Dev, talking raw lines to the relay.
class Peer
{
public:
    bool logIn(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(Wait))
            return false;
        const QByteArray index = line();
        if (index.isEmpty())
            return false;
        send("Dev dev" + QByteArray::number(index.toLongLong() % 2));
        return line() == "System>Dev Ok:";
    }
    QByteArray line()
    {
        QSignalSpy spy(&socket, &QTcpSocket::readyRead);
        while (!socket.canReadLine() && spy.wait(Wait)) { }
        return socket.readLine().trimmed();
    }
    void send(const QByteArray &text) { socket.write(text + '\n'); }

private:
    QTcpSocket socket;
};

// Reads a process's standard error as it arrives.
class ErrorText
{
public:
    explicit ErrorText(QProcess &process) : process(process) { }
    bool waitFor(const QByteArray &text)
    {
        return QTest::qWaitFor(
            [this, &text] { return (seen += process.readAllStandardError()).contains(text); }, Wait);
    }
    QByteArray seen;

private:
    QProcess &process;
};

void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(Wait);
}

} // namespace

// The relay, the client and a second node together: an event from Dev plays Velmar's row,
// and Velmar answers Dev's ask.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void eventPlaysAndAskIsAnswered();

private:
    QTemporaryDir dir;
    QProcess relay;
    QProcess velmar;
    quint16 port = 0;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("keys"));
    QVERIFY(writeFile(dir.filePath("keys/Zendri.key"), "zendri0\nzendri1\nzendri2\n"));
    QVERIFY(writeFile(dir.filePath("keys/Dev.key"), "dev0\ndev1\n"));
    QVERIFY(writeFile(dir.filePath("Zendri.key"), "zendri0\nzendri1\nzendri2\n"));
    QVERIFY(writeWav(dir.filePath("alarm.wav")));

    port = startRelay(relay, STARS_RELAY, dir.filePath("keys"));
    QVERIFY(port != 0);
}

void TestEndToEnd::cleanupTestCase()
{
    stop(velmar);
    stop(relay);
}

void TestEndToEnd::eventPlaysAndAskIsAnswered()
{
    QVERIFY(writeFile(dir.filePath("config.cfg"),
                      "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(port)
                          + "\nCONNECT_TO_STARS 1\nFLGON Dev\nEVENT Alarm \""
                          + dir.filePath("alarm.wav").toUtf8() + "\" 50 Dev\n"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_LOGGING_RULES", "velmar.sound.debug=true");
    environment.remove("QT_MESSAGE_PATTERN");
    velmar.setProcessEnvironment(environment);
    velmar.setWorkingDirectory(dir.path());
    velmar.start(VELMAR_BIN, QStringList());
    QVERIFY(velmar.waitForStarted(Wait));

    Peer dev;
    QVERIFY(dev.logIn(port));

    // Velmar subscribes as soon as it is logged in, before it can answer anything, so
    // the first proper answer means the relay knows the subscription.
    const QByteArray greeting = "Zendri>Dev @Hello Hello! I am Zendri. Nice to meet you!";
    QByteArray answer;
    for (int attempt = 0; attempt < MaxHelloAttempts && answer != greeting; ++attempt) {
        if (attempt > 0)
            QSignalSpy(&relay, &QProcess::readyReadStandardError).wait(Wait);
        dev.send("Dev>Zendri Hello");
        answer = dev.line();
    }
    QCOMPARE(answer, greeting);

    ErrorText errors(velmar);
    dev.send("Dev>System _Alarm");
    QVERIFY2(errors.waitFor("PlayingState"), errors.seen);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
