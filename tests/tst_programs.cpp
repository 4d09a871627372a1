#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <map>

#include "sessionbus.h"
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

// Logs in to the relay as `node`, sends `line` and returns what came back, or the error. The line
// goes on the console node's command line, or as the last line of its standard input, which
// ends without a line feed.
QByteArray sendAs(const RelayFixture &relay, const QString &node, const QByteArray &line, bool throughInput = false)
{
    QProcess cli;
    cli.start(STARS_CLI, QStringList { node, relay.keyFile(node.toLatin1()), "--port", QString::number(relay.port) }
                             + (throughInput ? QStringList() : QStringList { "--send", line }));
    cli.write(throughInput ? line : QByteArray());
    cli.closeWriteChannel();
    return cli.waitForFinished(Wait) && cli.exitCode() == 0 ? cli.readAllStandardOutput() : cli.readAllStandardError();
}

// The kind of the newest entry in the journal `file`, empty when there is none.
QString newestJournalKind(const QString &file)
{
    QString kind;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT kind FROM entries ORDER BY id DESC LIMIT 1")) && query.next())
            kind = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return kind;
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
    void desksActAsOneRoom();
    void oneVelmarPerNode_data();
    void oneVelmarPerNode();

private:
    SessionBus bus;
    RelayFixture relay;
    QElapsedTimer rowTime;
    bool stuck = false;
};

void TestPrograms::initTestCase()
{
    QVERIFY(bus.start());
    QVERIFY(relay.start({ "A", "B", "C", "D", "Zendri", "Zendri2", "Zendri3", "Dev" }));
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
// relative to the working directory. Dev prints what it receives and exits 0. SIGTERM ends
// Velmar as closing its window does: status 0, and the journal's last entry its stop.
void TestPrograms::eventPlaysAndAskIsAnswered()
{
    QTemporaryDir dir;
    QVERIFY(writeWav(dir.filePath("alarm.wav")));
    QVERIFY(writeFile(dir.filePath("config.cfg"), "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(relay.port) + "\nKEY_ON_STARS \""
                                                      + relay.keyFile("Zendri").toUtf8() + "\"\nFLGON Dev\nEVENT Alarm alarm.wav 50 Dev\nJOURNAL journal.db\n"));
    QProcess velmar;
    QVERIFY(startVelmar(velmar, dir.path()));
    const auto devSends = [this](const QByteArray &line, bool throughInput) { return sendAs(relay, "Dev", line, throughInput); };
    // Velmar subscribes as soon as it is logged in, before it can answer anything, so its
    // first answer means that the relay knows the subscription. A Dev that is refused because
    // its last run still holds the name tries again.
    const QByteArray greeting = "Zendri>Dev @Hello Hello! I am Zendri. Nice to meet you!\n";
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>Zendri Hello", true) == greeting; }, StartWait));
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>System _Alarm", false).isEmpty(); }, Wait));
    QByteArray errors;
    QVERIFY2(QTest::qWaitFor([&] { return (errors += velmar.readAllStandardError()).contains("PlayingState"); }, Wait), errors);
    velmar.terminate();
    QVERIFY(velmar.waitForFinished(Wait));
    QCOMPARE(velmar.exitStatus() == QProcess::NormalExit ? velmar.exitCode() : -1, 0);
    QCOMPARE(newestJournalKind(dir.filePath("journal.db")), QStringLiteral("stop"));
}

// Two desks, each a Velmar without a sound server: Zendri2 first, then Zendri, which tells it
// that it cannot sound; an Alarm rings at both, and an acknowledgement from a third desk
// acknowledges it at both, neither of which tells it on: the third desk, which hears both,
// gets their answers to its asks after it and nothing else of theirs.
void TestPrograms::desksActAsOneRoom()
{
    QTemporaryDir dir;
    const QStringList desks { "Zendri2", "Zendri" };
    QProcess velmar[2];
    const auto logOf = [&](int desk) {
        QFile file(dir.filePath(desks.at(desk) + "/desk.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    for (int desk = 0; desk < 2; ++desk) {
        const QString folder = dir.filePath(desks.at(desk));
        QVERIFY(QDir().mkpath(folder) && writeWav(folder + "/alarm.wav"));
        QVERIFY(writeFile(folder + "/config.cfg", "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(relay.port) + "\nNAME_ON_STARS " + desks.at(desk).toLatin1()
                              + "\nKEY_ON_STARS \"" + relay.keyFile(desks.at(desk).toLatin1()).toUtf8() + "\"\nFLGON Dev\nDESKS Zendri Zendri2 Zendri3\n"
                              "EVENT Alarm alarm.wav 50 Dev\nREPEAT_UNTIL_ACK 1\nSOUND_WATCH 1\nLOG_FILE desk.log\n"));
        QVERIFY(startVelmar(velmar[desk], folder, {}, { "PULSE_SERVER=unix:" + folder + "/none" }));
        QVERIFY(QTest::qWaitFor([&] { return sendAs(relay, "Dev", "Dev>" + desks.at(desk).toLatin1() + " Hello").contains("Nice to meet you!"); }, StartWait));
    }
    QVERIFY2(QTest::qWaitFor([&] { return logOf(0).contains("Desk Zendri cannot sound: no sound server"); }, Wait), qPrintable(logOf(0)));
    QVERIFY(sendAs(relay, "Dev", "Dev>System _Alarm").isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return logOf(0).contains("Could not sound [Alarm]") && logOf(1).contains("Could not sound [Alarm]"); }, Wait));

    QProcess third;
    third.start(STARS_CLI, { "Zendri3", relay.keyFile("Zendri3"), "--port", QString::number(relay.port) });
    third.write("Zendri3>System flgon Zendri\nZendri3>System flgon Zendri2\nZendri3>System _AlarmAcknowledged Dev Alarm bob@b\n");
    for (int desk = 0; desk < 2; ++desk)
        QVERIFY2(QTest::qWaitFor([&] { return logOf(desk).contains("[Alarm] acknowledged at Zendri3 by bob@b"); }, Wait), qPrintable(logOf(desk)));
    third.write("Zendri3>Zendri Hello\nZendri3>Zendri2 Hello\n");
    QByteArray heard;
    QVERIFY(QTest::qWaitFor([&] { return (heard += third.readAllStandardOutput()).count("Nice to meet you!") == 2; }, Wait));
    QVERIFY2(!heard.contains("_AlarmAcknowledged"), heard);
    for (QProcess *program : { &third, &velmar[0], &velmar[1] }) {
        program->kill();
        program->waitForFinished(Wait);
    }
}

void TestPrograms::oneVelmarPerNode_data()
{
    QTest::addColumn<QByteArray>("keys");
    // What the first Velmar writes once it holds the lock and once a second asked it to raise its
    // window; the third, which takes over the lock when the first was killed; the one under
    // another node name, beside it. Each a pattern.
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("over the session bus") << QByteArray("DBUS 1\n") << QStringList {"D-Bus control: dev.velmar.Velmar ", "Raise\\(\\) over D-Bus",
        "D-Bus control: dev.velmar.Velmar ", "is taken by another Velmar; D-Bus control: dev.velmar.Velmar.Other "};
    QTest::newRow("over a local socket") << QByteArray() << QStringList {"listens on", "asked to raise the window",
        "taking over the lock of a Velmar that has gone: .*\n.*listens on", "the one Velmar for Other at localhost:6057 listens on"};
}

// A second Velmar for the same node and server raises the first one's window and ends at once
// with one line; one for another node runs beside it. A Velmar killed leaves its lock to the next.
void TestPrograms::oneVelmarPerNode()
{
    QFETCH(QByteArray, keys);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("config.cfg"), "CONNECT_TO_STARS 0\nSINGLE_INSTANCE 1\n" + keys));
    QVERIFY(writeFile(dir.filePath("other.cfg"), "CONNECT_TO_STARS 0\nSINGLE_INSTANCE 1\nNAME_ON_STARS Other\n" + keys));
    QProcess velmars[4];
    QByteArray written[4];
    const auto start = [&](int i, const QStringList &arguments = {}) {
        return startVelmar(velmars[i], dir.path(), arguments, {"XDG_RUNTIME_DIR=" + dir.path()});
    };
    const auto wrote = [&](int i, const QString &line) {
        return QTest::qWaitFor([&] { return QString(written[i] += velmars[i].readAllStandardError()).contains(QRegularExpression(line)); }, StartWait);
    };
    QVERIFY2(start(0) && wrote(0, lines.at(0)), written[0]);
    QVERIFY(start(1) && velmars[1].waitForFinished(StartWait));
    QCOMPARE(velmars[1].exitStatus() == QProcess::NormalExit ? velmars[1].exitCode() : -1, 0);
    QCOMPARE(velmars[1].readAllStandardError(), QByteArray("Velmar is already running for Zendri at localhost:6057\n"));
    QVERIFY2(wrote(0, lines.at(1)), written[0]);
    velmars[0].kill();
    QVERIFY(velmars[0].waitForFinished(Wait));
    QVERIFY2(start(2) && wrote(2, lines.at(2)), written[2]);
    QVERIFY2(start(3, {"-c", "other.cfg"}) && wrote(3, lines.at(3)), written[3]);
    for (QProcess &velmar : velmars) {
        velmar.kill();
        velmar.waitForFinished(Wait);
    }
}

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
