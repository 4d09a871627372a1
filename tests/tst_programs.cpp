#include <QtTest>

#include <map>

#include "relayfixture.h"
#include "support.h"

namespace {

constexpr int LineLimit = 1 << 20;
// 40 MiB for a subscriber that reads nothing: more than the relay's 16 MiB output bound and
// the system's socket buffers together.
constexpr int BigEvents = 160;

// One step: an answer, a log-in, a relay's start, as the relay fixture waits for them. The
// program's own start to its log-in may take longer under the address sanitizer on a loaded
// machine.
constexpr int Wait = RelayFixture::Wait;
constexpr int StartWait = 2 * Wait;

// Starts the velmar program in `workDir`, headless and with its debug lines on standard error,
// with the "NAME=value" entries of `entries` on top of this process's; true once it runs.
bool startVelmar(QProcess &velmar, const QString &workDir, const QStringList &arguments = {}, const QStringList &entries = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velmar.*.debug=true"));
    environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    for (const QString &entry : entries)
        environment.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    velmar.setProcessEnvironment(environment);
    velmar.setWorkingDirectory(workDir);
    velmar.start(QStringLiteral(VELMAR_BIN), arguments);
    return velmar.waitForStarted(Wait);
}

} // namespace

// The real programs. The relay: log-in, routing, subscriptions, and nodes that break the rules;
// whatever a node does, the relay must go on serving the others. Velmar: the configuration file
// it reads for a command line, an event and an ask through the relay.
class TestPrograms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void script_data();
    void script();
    void configFile_data();
    void configFile();
    void eventPlaysAndAskIsAnswered();

private:
    RelayFixture relay;
    QElapsedTimer rowTime;
    bool stuck = false;
};

void TestPrograms::initTestCase()
{
    QVERIFY(relay.start({ "A", "B", "C", "D", "Zendri", "Dev" }));
    QVERIFY(writeFile(relay.keyFile("Empty"), {}));
}

// A row that failed by waiting out its time points to a program that no longer answers: every
// later row would wait as long, and the suite would overrun CTest's time-out. They are skipped.
void TestPrograms::init()
{
    if (stuck)
        QSKIP("an earlier row waited out its time: a program no longer answers");
    rowTime.start();
}

void TestPrograms::cleanup()
{
    stuck = QTest::currentTestFailed() && rowTime.elapsed() >= Wait / 2;
}

// Steps "pOARG": peer p (one letter) does O. '+' logs in as ARG (waiting while the relay has
// not yet seen the last row's peer of that name go), 'o' connects and reads the key index,
// 'k' sends ARG with the key for that index, '<' sends the line ARG, '=' writes ARG as it is,
// '>' expects the line ARG, '.' waits for the close, '!' aborts, '~' stops reading, '?' waits
// until node ARG is gone.
void TestPrograms::script_data()
{
    QTest::addColumn<QByteArrayList>("steps");

    const QByteArray longName(65, 'n');
    QTest::newRow("wrong key") << QByteArrayList { "xo", "x<A nokey", "x>System>A Er: log-in refused: wrong key", "x." };
    QTest::newRow("no blank") << QByteArrayList { "xo", "x<A", "x>System>? Er: log-in refused: bad key line", "x." };
    QTest::newRow("path in the name") << QByteArrayList { "xo", "x<../outside x", "x>System>? Er: log-in refused: bad node name", "x." };
    QTest::newRow("name of 64 bytes, unknown") << QByteArrayList { "xo", "x<" + longName.mid(1) + " x", "x>System>" + longName.mid(1) + " Er: log-in refused: unknown node", "x." };
    QTest::newRow("name of 65 bytes") << QByteArrayList { "xo", "x<" + longName + " x", "x>System>? Er: log-in refused: bad node name", "x." };
    QTest::newRow("System") << QByteArrayList { "xo", "x<System system0", "x>System>System Er: log-in refused: reserved node name", "x." };
    QTest::newRow("empty key file") << QByteArrayList { "xo", "x<Empty x", "x>System>Empty Er: log-in refused: no keys for node", "x." };
    QTest::newRow("name logged in") << QByteArrayList { "xo", "xkA", "x>System>A Er: log-in refused: node already connected", "x." };
    QTest::newRow("line over the limit before log-in") << QByteArrayList { "xo", "x=" + QByteArray(LineLimit + 2, 'x'), "x>System>? Er: log-in refused: line too long", "x." };
    QTest::newRow("line over the limit") << QByteArrayList { "x+C", "x<" + QByteArray(LineLimit + 1, 'x'), "x>System>C @ Er: line too long", "x." };

    // Lines from A, and what A and B receive for them; nothing else arrives.
    QTest::newRow("reply with channels, carriage return, NUL ends the text, Latin-1 sent as UTF-8")
        << QByteArrayList { "a<A.x>B.y @Hello hi  there", "b>A.x>B.y @Hello hi  there", "a<A>B Hello\r", "b>A>B Hello", QByteArray("a<A>B Hello\0junk", 16),
                            "b>A>B Hello", "a<A>B Say caf\xe9", "b>A>B Say caf\xc3\xa9" };
    QTest::newRow("line at the limit") << QByteArrayList { "a<A>B " + QByteArray(LineLimit - 4, 'y'), "b>A>B " + QByteArray(LineLimit - 4, 'y') };
    QTest::newRow("spoofed event") << QByteArrayList { "b<B>System flgon D", "b>System>B @flgon Ok:", "a<D>System _Alarm", "a>System>A @Alarm Er: sender is not A" };
    // What the relay answers A, once for each line; it answers neither a reply nor an empty line.
    QTest::newRow("unreachable ask and reply, spoofed reply, no route, no command, empty line, unknown System command, flgon bad name")
        << QByteArrayList { "a<A.x>Nobody Hello", "a>System>A.x @Hello Er: node Nobody is not connected", "a<A>Nobody @Hello hi", "a<B.x>B @Hello hi",
                            "a>System>A @Hello Er: sender is not A", "a<Hello there", "a>System>A @ Er: no '>' in the route", "a<A>B", "a>System>A @ Er: no command",
                            "a<", "a<A>System Hello", "a>System>A @Hello Er: unknown command", "a<A>System flgon ../x", "a>System>A @flgon Er: bad node name" };

    QTest::newRow("events to every subscriber until flgoff") << QByteArrayList {
        "d+D", "a<A>System flgon D", "a>System>A @flgon Ok:", "b<B.ch>System flgon D", "b>System>B.ch @flgon Ok:",
        "d<D.x>System _Alarm 2   3", "a>D.x>A _Alarm 2   3", "b>D.x>B _Alarm 2   3",
        "a<A>System flgoff D", "a>System>A @flgoff Ok:", "d<D>System _Alarm 4", "b>D>B _Alarm 4" };
    QTest::newRow("flgon before the node logs in") << QByteArrayList {
        "a<A>System flgon D", "a>System>A @flgon Ok:", "d+D", "d<D>System _Alarm", "a>D>A _Alarm" };

    QByteArrayList gone { "d+D", "x+C", "x<C>System flgon D", "x>System>C @flgon Ok:", "x=C>D half a li", "x!" };
    for (int i = 0; i < 50; ++i)
        gone << "d<D>System _Alarm";
    QTest::newRow("subscriber gone mid-line, subscription with it")
        << gone + QByteArrayList { "d?C", "y+C", "d<D>System _Alarm", "d<D>C Mark", "y>D>C Mark" };

    const QByteArray big(256 * 1024, 'x');
    QByteArrayList flood { "d+D", "x+C", "x<C>System flgon D", "x>System>C @flgon Ok:", "x~", "b<B>System flgon D", "b>System>B @flgon Ok:" };
    for (int i = 0; i < BigEvents; ++i)
        flood << "d<D>System _Big " + big << "b>D>B _Big " + big;
    QTest::newRow("subscriber that never reads is dropped") << flood + QByteArrayList { "b?C" };

    QByteArrayList storm;
    for (char peer = 'c'; peer <= 'z'; ++peer)
        storm << QByteArray(1, peer) + 'o' << QByteArray(1, peer) + (peer % 2 ? "=A a" : "=");
    for (char peer = 'c'; peer <= 'z'; ++peer)
        storm << QByteArray(1, peer) + '!';
    QTest::newRow("storm of connections gone at once") << storm;
}

// The relay runs, and A and B are logged in, for every row; after it, each still gets a line
// from the other and nothing before it.
void TestPrograms::script()
{
    QFETCH(QByteArrayList, steps);
    QCOMPARE(relay.process.state(), QProcess::Running);
    std::map<char, RelayPeer> peers;
    const QByteArrayList marks { "a<A>A Mark", "a<A>B Mark", "a>A>A Mark", "b>A>B Mark" };
    for (const QByteArray &step : QByteArrayList { "a+A", "b+B" } + steps + marks) {
        RelayPeer &peer = peers[step.at(0)];
        const char op = step.at(1);
        const QByteArray arg = step.mid(2);
        if (op == '+')
            QVERIFY(QTest::qWaitFor([&] { peer.socket.abort(); return peer.logIn(relay.port, arg) == "System>" + arg + " Ok:"; }, Wait));
        else if (op == 'o')
            QVERIFY(peer.open(relay.port));
        else if (op == 'k')
            peer.send(arg + ' ' + RelayFixture::keyOf(arg, peer.keyIndex));
        else if (op == '<')
            peer.send(arg);
        else if (op == '=')
            peer.socket.write(arg);
        else if (op == '>')
            QCOMPARE(peer.line(), arg);
        else if (op == '.')
            QVERIFY(peer.socket.state() == QAbstractSocket::UnconnectedState || QSignalSpy(&peer.socket, &QTcpSocket::disconnected).wait());
        else if (op == '!')
            peer.socket.abort();
        else if (op == '~')
            peer.socket.setReadBufferSize(1);
        else if (op == '?')
            QVERIFY(QTest::qWaitFor([&] {
                // A ping to ARG, then a line to this node itself: the relay answers the ping first.
                peer.send(peer.node + '>' + arg + " Ping");
                peer.send(peer.node + '>' + peer.node + " Mark");
                return peer.line().endsWith(" Er: node " + arg + " is not connected") && peer.line().endsWith(" Mark");
            }, Wait));
    }
}

// Every file points the client at the test's server under a node name of its own, and every
// folder holds a key file of its own, named by the folder's first letter, so the key line tells
// them apart.
void TestPrograms::configFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    // where config.cfg lies: w the working directory, x $XDG_CONFIG_HOME/velmar (the variable
    // empty otherwise), h ~/.config/velmar; a.cfg always lies in the working directory
    QTest::addColumn<QString>("places");
    // the log-in line, or the line on standard error when there is no file to read
    QTest::addColumn<QByteArray>("logIn");

    QTest::newRow("-config, no file here") << QStringList { "-config", "a.cfg" } << "x" << QByteArray("A w0");
    QTest::newRow("-c without a name") << QStringList { "-c" } << "x" << QByteArray("Can't open config file : \n");
    QTest::newRow("neither file") << QStringList() << "" << QByteArray("Can't open config file : config.cfg\n");
    QTest::newRow("only the XDG one, read in its folder") << QStringList() << "xh" << QByteArray("Xdg x0");
    QTest::newRow("both") << QStringList() << "wx" << QByteArray("Main w0");
    QTest::newRow("XDG_CONFIG_HOME empty") << QStringList() << "h" << QByteArray("Home h0");
}

void TestPrograms::configFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, places);
    QFETCH(QByteArray, logIn);
    QTemporaryDir dir;
    ScriptedServer server;
    const QByteArray settings = "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(server.port()) + "\nKEY_ON_STARS k.key\nNAME_ON_STARS ";
    const QStringList folders { "w", "x/velmar", "h/.config/velmar" };
    const QByteArrayList nodes { "Main", "Xdg", "Home" };
    for (int i = 0; i < folders.size(); ++i) {
        const QString folder = dir.filePath(folders.at(i));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + "/k.key", folders.at(i).left(1).toLatin1() + "0\n"));
        if (places.contains(folders.at(i).at(0)))
            QVERIFY(writeFile(folder + "/config.cfg", settings + nodes.at(i) + '\n'));
    }
    QVERIFY(writeFile(dir.filePath("w/a.cfg"), settings + "A\n"));
    const QStringList environment { "HOME=" + dir.filePath("h"), "XDG_CONFIG_HOME=" + (places.contains('x') ? dir.filePath("x") : QString()) };
    QProcess velmar;
    QVERIFY(startVelmar(velmar, dir.filePath("w"), arguments, environment));
    QByteArray errors;
    const auto printed = [&](const QByteArray &line) {
        return QTest::qWaitFor([&] { return (errors += velmar.readAllStandardError()).contains(line); }, StartWait);
    };
    // The file is named by its whole path, also when it is read in its own folder.
    QVERIFY(logIn != "Xdg x0" || printed("Reading config file : " + dir.filePath("x/velmar/config.cfg").toUtf8()));
    if (logIn.startsWith("Can't")) {
        QVERIFY(printed(logIn));
        // An empty name is not handed to Qt, which would warn about it.
        QVERIFY2(!errors.contains("No file name specified"), errors);
        // Without a file the client goes to the default address, not to the test's server.
        QVERIFY(!server.waitForClient(1000));
    } else {
        QVERIFY2(server.waitForClient(StartWait), errors + velmar.readAllStandardError());
        server.send("0\n");
        QVERIFY(server.waitForLines(1, Wait));
        QCOMPARE(server.lines().first(), logIn);
    }
    velmar.kill();
    velmar.waitForFinished(Wait);
}

// Velmar answers Dev's ask, and Dev's event plays Velmar's row, whose sound file is named
// relative to the working directory. Dev prints what it receives and exits 0.
void TestPrograms::eventPlaysAndAskIsAnswered()
{
    QTemporaryDir dir;
    QVERIFY(writeWav(dir.filePath("alarm.wav")));
    QVERIFY(writeFile(dir.filePath("config.cfg"), "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(relay.port) + "\nKEY_ON_STARS \""
                                                      + relay.keyFile("Zendri").toUtf8() + "\"\nFLGON Dev\nEVENT Alarm alarm.wav 50 Dev\n"));
    QProcess velmar;
    QVERIFY(startVelmar(velmar, dir.path()));
    // Dev's line comes on its command line, or as the last line of its standard input, which ends
    // without a line feed.
    const auto devSends = [this](const QByteArray &line, bool input) {
        QProcess dev;
        dev.start(STARS_CLI, QStringList{ "Dev", relay.keyFile("Dev"), "--port", QString::number(relay.port) } + (input ? QStringList() : QStringList{ "--send", line }));
        dev.write(input ? line : QByteArray());
        dev.closeWriteChannel();
        return dev.waitForFinished(Wait) && dev.exitCode() == 0 ? dev.readAllStandardOutput() : dev.readAllStandardError();
    };
    // Velmar subscribes as soon as it is logged in, before it can answer anything, so its
    // first answer means that the relay knows the subscription. A Dev that is refused because
    // its last run still holds the name tries again.
    const QByteArray greeting = "Zendri>Dev @Hello Hello! I am Zendri. Nice to meet you!\n";
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>Zendri Hello", true) == greeting; }, StartWait));
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>System _Alarm", false).isEmpty(); }, Wait));
    QByteArray errors;
    QVERIFY2(QTest::qWaitFor([&] { return (errors += velmar.readAllStandardError()).contains("PlayingState"); }, Wait), errors);
    velmar.kill();
    velmar.waitForFinished(Wait);
}

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
