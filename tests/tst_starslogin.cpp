#include <QtTest>

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <unistd.h>

#include "support.h"
#include "messagerecorder.h"
#include "scriptedserver.h"
#include "stars/connectstat.h"
#include "stars/stars.h"

// Log-in by key exchange, the receive loop and the connection life cycle, against a real
// socket and a scripted server.
class TestStarsLogin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loginSucceeds();
    void acceptanceAndMessageInOnePacket();
    void refusal_data();
    void refusal();
    void keyFileProblems_data();
    void keyFileProblems();
    void keyChoice_data();
    void keyChoice();
    void framing_data();
    void framing();
    void lineSplitAcrossPackets();
    void hugeLine();
    void verboseLineOnlyWhenListened();
    void disconnectDuringLogin_data();
    void disconnectDuringLogin();
    void connectButton();
    void clickWhileConnectingKeepsConnection();
    void closeWaitsForTheSocket();
    void portTextIsCutTo16Bits();
    void failedAttempt_data();
    void failedAttempt();
    void destructionClosesTheConnection();

private:
    void writeKeys(const QByteArray &content);
    void startLogin();
    bool connectAgain();
    QStringList logTexts() const;

    QTemporaryDir *dir = nullptr;
    ScriptedServer *server = nullptr;
    Stars *stars = nullptr;
    QSignalSpy *logSpy = nullptr;
    QString keyPath;
};

void TestStarsLogin::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    server = new ScriptedServer;
    QVERIFY(server->isListening());
    stars = new Stars;
    logSpy = new QSignalSpy(stars, SIGNAL(log(const QString &, const QColor)));
    QVERIFY(logSpy->isValid());
    keyPath = dir->filePath("N.key");
    writeKeys("k1\nk2\nk3\n");
    stars->nodeNameField()->setText("N");
    stars->keyFileField()->setText(keyPath);
    stars->hostField()->setText("127.0.0.1");
    stars->portField()->setText(QString::number(server->port()));
}

void TestStarsLogin::cleanup()
{
    delete logSpy;
    delete stars;
    delete server;
    delete dir;
}

void TestStarsLogin::writeKeys(const QByteArray &content)
{
    QVERIFY(writeFile(keyPath, content));
}

// Connects and waits for the server's side of the connection.
void TestStarsLogin::startLogin()
{
    stars->connectToStars();
    QVERIFY(server->waitForClient());
}

QStringList TestStarsLogin::logTexts() const
{
    QStringList texts;
    for (const QList<QVariant> &args : *logSpy) {
        texts << args.at(0).toString();
        // Every log line of the log-in is opaque black.
        if (args.at(1).value<QColor>() != QColor(0, 0, 0))
            texts << "(not black)";
    }
    return texts;
}

void TestStarsLogin::loginSucceeds()
{
    QSignalSpy ready(stars, SIGNAL(starsIsReady()));
    QStringList order;
    connect(stars, &Stars::starsIsReady, this, [&order, this] {
        order << QString("ready in state %1").arg(stars->connectionState());
    });
    connect(stars, &Stars::log, this, [&order](const QString &text) { order << text; });

    startLogin();
    QCOMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    server->send("1\n");
    QVERIFY(server->waitForLines(1));
    QCOMPARE(server->received(), QByteArray("N k2\n"));
    QCOMPARE(stars->connectionState(), int(ConnectStat::Connecting));

    server->send("System>N Ok: welcome\n");
    QTRY_COMPARE(ready.count(), 1);
    QCOMPARE(stars->connectionState(), int(ConnectStat::Connected));
    const QString path = QFileInfo(keyPath).absoluteFilePath();
    QCOMPARE(logTexts(), QStringList({"opening key file [" + path + "]", "sending key [N][k2]",
                                      "Connected To Stars"}));
    QCOMPARE(order.mid(2), QStringList({"ready in state 2", "Connected To Stars"}));
}

void TestStarsLogin::acceptanceAndMessageInOnePacket()
{
    MessageRecorder recorder(stars);
    QStringList order;
    connect(stars, &Stars::starsIsReady, this, [&order] { order << "ready"; });
    connect(stars, &Stars::anyEvent, this, [&order](const AMsg &msg) { order << msg.cmd; });

    startLogin();
    server->send("0\n");
    QVERIFY(server->waitForLines(1));
    server->send("System>N Ok:\nDev>N _Alarm\n");
    QTRY_COMPARE(order, QStringList({"ready", "Alarm"}));
}

void TestStarsLogin::refusal_data()
{
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("lower-case ok") << QByteArray("System>N ok:");
    QTest::newRow("another node") << QByteArray("System>M Ok:");
    QTest::newRow("longer node name") << QByteArray("System>NN Ok:");
    QTest::newRow("leading blank") << QByteArray(" System>N Ok:");
    QTest::newRow("two blanks before Ok") << QByteArray("System>N  Ok:");
    QTest::newRow("not a message") << QByteArray("go away");
    QTest::newRow("empty line") << QByteArray("");
}

// A refusal closes the connection; what the server sent after it is dropped.
void TestStarsLogin::refusal()
{
    QFETCH(QByteArray, answer);
    QSignalSpy ready(stars, SIGNAL(starsIsReady()));
    QSignalSpy notReady(stars, SIGNAL(starsIsNotReady()));
    MessageRecorder recorder(stars);

    startLogin();
    server->send("0\n");
    QVERIFY(server->waitForLines(1));
    logSpy->clear();
    server->send(answer + "\nSystem>N Ok:\nC>N Hello\nDev>N _Alarm\n");
    QVERIFY(server->waitForClientGone());
    QTRY_COMPARE(notReady.count(), 1);

    QCOMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    QCOMPARE(ready.count(), 0);
    QCOMPARE(logTexts(), QStringList());
    QCOMPARE(recorder.entries, QStringList());
    QCOMPARE(server->received(), QByteArray("N k1\n"));
}

void TestStarsLogin::keyFileProblems_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<bool>("cannotOpen");

    QTest::newRow("missing") << "missing" << true;
    QTest::newRow("empty") << "empty" << false;
    QTest::newRow("a directory") << "directory" << true;
    QTest::newRow("unreadable") << "unreadable" << true;
    QTest::newRow("no name") << "no name" << true;
}

// Without a key nothing is sent, yet the next line is still taken as the acceptance.
void TestStarsLogin::keyFileProblems()
{
    QFETCH(QString, problem);
    QFETCH(bool, cannotOpen);

    if (problem == "missing") {
        QVERIFY(QFile::remove(keyPath));
    } else if (problem == "empty") {
        writeKeys("");
    } else if (problem == "directory") {
        QVERIFY(QFile::remove(keyPath));
        QVERIFY(QDir(dir->path()).mkdir("N.key"));
    } else if (problem == "unreadable") {
        if (geteuid() == 0)
            QSKIP("running as root: a file without permissions stays readable");
        QVERIFY(QFile::setPermissions(keyPath, QFileDevice::Permissions()));
    } else {
        stars->keyFileField()->setText("");
    }
    const QString path = QFileInfo(stars->keyFileField()->text()).absoluteFilePath();

    startLogin();
    server->send("0\n");
    QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Connecting));
    QStringList expected{"opening key file [" + path + "]"};
    if (cannotOpen)
        expected << "Can't open key file [" + path + "]";
    expected << "I have no key to exchange with Stars.";
    QCOMPARE(logTexts(), expected);

    server->send("System>N Ok:\n");
    QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Connected));
    stars->sendCmd("", "System", "probe");
    QVERIFY(server->waitForLines(1));
    QCOMPARE(server->received(), QByteArray("N>System probe\n"));
}

void TestStarsLogin::keyChoice_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QByteArray>("indexLine");
    QTest::addColumn<QByteArray>("keyLine");

    QTest::newRow("first key") << QByteArray("k1\nk2\nk3\n") << QByteArray("0") << QByteArray("N k1");
    QTest::newRow("last key") << QByteArray("k1\nk2\nk3\n") << QByteArray("2") << QByteArray("N k3");
    QTest::newRow("modulo over an empty key line") << QByteArray("k1\n\nk3\n") << QByteArray("4")
                                                   << QByteArray("N ");
    QTest::newRow("blank padded") << QByteArray("a\nb\n") << QByteArray("  7  ") << QByteArray("N b");
    QTest::newRow("tab and CR around it") << QByteArray("a\nb\n") << QByteArray("\t3\r") << QByteArray("N b");
    QTest::newRow("not a number") << QByteArray("a\nb\n") << QByteArray("7x") << QByteArray("N a");
    QTest::newRow("empty index line") << QByteArray("a\nb\n") << QByteArray("") << QByteArray("N a");
    QTest::newRow("beyond 32 bits") << QByteArray("a\nb\nc\n") << QByteArray("4294967297")
                                    << QByteArray("N a");
    QTest::newRow("negative") << QByteArray("k1\nk2\nk3\n") << QByteArray("-1") << QByteArray("N k3");
    QTest::newRow("most negative int") << QByteArray("k1\nk2\nk3\n") << QByteArray("-2147483648")
                                       << QByteArray("N k2");
    QTest::newRow("keys simplified") << QByteArray("  two \t words  \n") << QByteArray("0")
                                     << QByteArray("N two words");
    QTest::newRow("CR LF key file") << QByteArray("a\r\nb\r\n") << QByteArray("1") << QByteArray("N b");
    QTest::newRow("last line without LF") << QByteArray("a\nb") << QByteArray("1") << QByteArray("N b");
    QTest::newRow("key with a place marker") << QByteArray("%1%2\n") << QByteArray("0")
                                             << QByteArray("N %1%2");
}

void TestStarsLogin::keyChoice()
{
    QFETCH(QByteArray, keys);
    QFETCH(QByteArray, indexLine);
    QFETCH(QByteArray, keyLine);

    writeKeys(keys);
    startLogin();
    server->send(indexLine + "\n");
    QVERIFY(server->waitForLines(1));
    QCOMPARE(server->received(), keyLine + "\n");
    const QString key = QString::fromLatin1(keyLine.mid(2));
    QCOMPARE(logTexts().last(), "sending key [N][" + key + "]");
}

void TestStarsLogin::framing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("glued lines") << QByteArray("Dev>N _A\nDev>N _B x\nC>N @R\n")
                                 << QStringList{"event A 4", "event B 4 x", "ans R 4"};
    QTest::newRow("CR LF") << QByteArray("Dev>N _Alarm\r\n") << QStringList{"event Alarm 4"};
    QTest::newRow("NUL byte ends the text") << QByteArray("Dev>N _Alarm\0 junk\n", 19)
                                            << QStringList{"event Alarm 4"};
    QTest::newRow("invalid UTF-8") << QByteArray("Dev>N _A\xff\xfe x\n")
                                   << QStringList{QString("event A\uFFFD\uFFFD 4 x")};
    QTest::newRow("empty lines") << QByteArray("\n\r\n\nDev>N _A\n") << QStringList{"event A 4"};
    QTest::newRow("garbage") << QByteArray("\x01\x02\x7f >>> \"\n\"\"\nno route here\n>\n")
                             << QStringList();
    QTest::newRow("second acceptance is a message") << QByteArray("System>N Ok:\n")
                                                    << QStringList{"ask Ok: 4"};
    QTest::newRow("key index after log-in is a message") << QByteArray("7\n") << QStringList();
}

// What each packet yields; a closing event proves that nothing else came out.
void TestStarsLogin::framing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, messages);
    QSignalSpy ready(stars, SIGNAL(starsIsReady()));
    MessageRecorder recorder(stars);

    QVERIFY(logIn(*server, *stars));
    server->send(bytes + "Dev>N _End\n");
    QVERIFY(recorder.waitFor("event End 4"));
    QCOMPARE(recorder.entries, messages << "event End 4");
    QCOMPARE(ready.count(), 1);
    QCOMPARE(stars->connectionState(), int(ConnectStat::Connected));
}

void TestStarsLogin::lineSplitAcrossPackets()
{
    MessageRecorder recorder(stars);
    QVERIFY(logIn(*server, *stars));
    server->send("Dev>N _A\nDev>N _Br");
    QVERIFY(recorder.waitFor("event A 4"));
    server->send("avo 1\n");
    QVERIFY(recorder.waitFor("event Bravo 4 1"));
    QCOMPARE(recorder.entries, QStringList({"event A 4", "event Bravo 4 1"}));
}

void TestStarsLogin::hugeLine()
{
    constexpr int Size = 8 * 1024 * 1024;
    MessageRecorder recorder(stars);
    QVERIFY(logIn(*server, *stars));
    server->send("Dev>N _Big " + QByteArray(Size, 'x') + "\nDev>N _After\n");
    QVERIFY(recorder.waitFor("event After 4", 60000));
    QCOMPARE(recorder.messages.size(), 2);
    QCOMPARE(recorder.messages.first().cmd, QString("Big"));
    QCOMPARE(recorder.messages.first().val.size(), Size);
}

void TestStarsLogin::verboseLineOnlyWhenListened()
{
    QSignalSpy vlog(stars, SIGNAL(vlog(const QString &, const QColor &)));
    QVERIFY(vlog.isValid());
    MessageRecorder recorder(stars);
    QVERIFY(logIn(*server, *stars));
    server->send("  Dev>N   _Alarm \t x \r\n");
    QVERIFY(recorder.waitFor("event Alarm 4 x"));
    QCOMPARE(vlog.count(), 3);
    QCOMPARE(vlog.at(0).at(0).toString(), QString("msg from stars[0]"));
    QCOMPARE(vlog.at(1).at(0).toString(), QString("msg from stars[System>N Ok:]"));
    QCOMPARE(vlog.at(2).at(0).toString(), QString("msg from stars[Dev>N _Alarm x]"));
    QCOMPARE(vlog.at(2).at(1).value<QColor>(), QColor(0, 0, 0));
}

void TestStarsLogin::disconnectDuringLogin_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<bool>("abrupt");

    QTest::newRow("right after connecting") << QByteArray() << QByteArray() << true;
    QTest::newRow("in the key index") << QByteArray("1") << QByteArray() << true;
    QTest::newRow("after the key index") << QByteArray("1\n") << QByteArray() << true;
    QTest::newRow("in the acceptance") << QByteArray("1\n") << QByteArray("System>N O") << true;
    QTest::newRow("after the log-in") << QByteArray("1\n") << QByteArray("System>N Ok:\n") << true;
    QTest::newRow("in a message line") << QByteArray("1\n") << QByteArray("System>N Ok:\nDev>N _Ala")
                                       << true;
    QTest::newRow("in a message line, closed") << QByteArray("1\n")
                                               << QByteArray("System>N Ok:\nDev>N _Ala") << false;
}

// Whatever the step, the client ends up disconnected and logs in cleanly again.
void TestStarsLogin::disconnectDuringLogin()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(bool, abrupt);
    QSignalSpy notReady(stars, SIGNAL(starsIsNotReady()));
    MessageRecorder recorder(stars);

    startLogin();
    server->send(first);
    if (first.endsWith('\n'))
        QVERIFY(server->waitForLines(1));
    server->send(second);
    if (second.contains("Ok:\n"))
        QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Connected));
    if (abrupt)
        server->dropClient();
    else
        server->closeClient();
    QVERIFY(server->waitForClientGone());
    // Before the key line came back the client may not have seen the connection open.
    if (first.endsWith('\n'))
        QTRY_COMPARE(notReady.count(), 1);
    QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    QTRY_VERIFY(connectAgain());
    QVERIFY(notReady.count() <= 1);

    QSignalSpy ready(stars, SIGNAL(starsIsReady()));
    QVERIFY(logIn(*server, *stars, "1\n"));
    QCOMPARE(ready.count(), 1);
    server->send("Dev>N _Next\n");
    QVERIFY(recorder.waitFor("event Next 4"));
    QCOMPARE(recorder.entries, QStringList{"event Next 4"});
    QCOMPARE(server->clientCount(), 2);
}

// A connection request that only starts once the socket has noticed the end of the last one.
bool TestStarsLogin::connectAgain()
{
    stars->connectToStars();
    return server->hasClient();
}

void TestStarsLogin::connectButton()
{
    QSignalSpy notReady(stars, SIGNAL(starsIsNotReady()));
    QPushButton *button = stars->findChild<QPushButton *>("connectB");
    QVERIFY(button);

    button->click();
    QVERIFY(server->waitForClient());
    QVERIFY(logIn(*server, *stars));
    QCOMPARE(button->text(), QString("Disconnect"));

    button->click();
    QVERIFY(server->waitForClientGone());
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    QCOMPARE(button->text(), QString("Connect"));

    button->click();
    QVERIFY(server->waitForClient());
    QCOMPARE(server->clientCount(), 2);
}

void TestStarsLogin::clickWhileConnectingKeepsConnection()
{
    QPushButton *button = stars->findChild<QPushButton *>("connectB");
    startLogin();
    button->click();
    server->send("0\n");
    QVERIFY(server->waitForLines(1));
    QCOMPARE(stars->connectionState(), int(ConnectStat::Connecting));
    button->click();
    server->send("System>N Ok:\n");
    QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Connected));
    QCOMPARE(server->clientCount(), 1);
    QVERIFY(server->hasClient());
}

// While a long line is still being written, closing waits for it; the state follows the socket.
void TestStarsLogin::closeWaitsForTheSocket()
{
    constexpr int Size = 32 * 1024 * 1024;
    QSignalSpy notReady(stars, SIGNAL(starsIsNotReady()));
    QVERIFY(logIn(*server, *stars));
    server->stopReading();
    stars->sendCmdV("", "Dev", "big", QString(Size, 'v'));
    stars->connectToStars();
    QCOMPARE(stars->connectionState(), int(ConnectStat::Connected));
    QCOMPARE(notReady.count(), 0);

    server->resumeReading();
    QTRY_COMPARE_WITH_TIMEOUT(notReady.count(), 1, 60000);
    QCOMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    QVERIFY(server->waitForClientGone(60000));
    QCOMPARE(server->received().size(), int(sizeof("N>Dev big ")) - 1 + Size + 1);
}

void TestStarsLogin::portTextIsCutTo16Bits()
{
    stars->portField()->setText(QString::number(server->port() + 65536));
    startLogin();
}

namespace {

QStringList socketErrors;
QtMessageHandler previousHandler = nullptr;

void catchSocketErrors(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith("socket error: "))
        socketErrors << text;
    else
        previousHandler(type, context, text);
}

} // namespace

void TestStarsLogin::failedAttempt_data()
{
    QTest::addColumn<QString>("portText");

    quint16 freePort = 0;
    {
        const ScriptedServer closed;
        freePort = closed.port();
    }
    QTest::newRow("nobody listening") << QString::number(freePort);
    QTest::newRow("port text not a number") << "port";
}

// A failed attempt goes to the debug channel only; another attempt can follow.
void TestStarsLogin::failedAttempt()
{
    QFETCH(QString, portText);
    QSignalSpy notReady(stars, SIGNAL(starsIsNotReady()));

    socketErrors.clear();
    previousHandler = qInstallMessageHandler(catchSocketErrors);
    stars->portField()->setText(portText);
    stars->connectToStars();
    QTRY_VERIFY(!socketErrors.isEmpty());
    qInstallMessageHandler(previousHandler);

    QCOMPARE(logTexts(), QStringList());
    QCOMPARE(notReady.count(), 0);
    QCOMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    stars->portField()->setText(QString::number(server->port()));
    startLogin();
}

void TestStarsLogin::destructionClosesTheConnection()
{
    QVERIFY(logIn(*server, *stars));
    delete logSpy;
    logSpy = nullptr;
    delete stars;
    stars = nullptr;
    QVERIFY(server->waitForClientGone());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TestStarsLogin)
#include "tst_starslogin.moc"
