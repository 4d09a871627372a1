#include <QtTest>
#include <QtWidgets>

#include "relayfixture.h"
#include "support.h"

namespace {

// One step: an answer, a log-in, a relay's start. The program's own start to its log-in may take
// longer under the address sanitizer on a loaded machine.
constexpr int Wait = 5000;
constexpr int StartWait = 10000;

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

// The whole program: the configuration file it reads for a command line, an event and an ask
// through the relay.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void configFile_data();
    void configFile();
    void eventPlaysAndAskIsAnswered();
};

// Every file points the client at the test's server under a node name of its own, and every
// folder holds a key file of its own, so the key line tells them apart.
void TestEndToEnd::configFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    // where config.cfg lies: w the working directory, x $XDG_CONFIG_HOME/velmar (the variable
    // empty otherwise), h ~/.config/velmar; a.cfg always lies in the working directory
    QTest::addColumn<QString>("places");
    // the log-in line, or the line on standard error when there is no file to read
    QTest::addColumn<QByteArray>("logIn");

    QTest::newRow("-config, no file here") << QStringList { "-config", "a.cfg" } << "x" << QByteArray("A k0");
    QTest::newRow("-c without a name") << QStringList { "-c" } << "x" << QByteArray("Can't open config file : \n");
    QTest::newRow("neither file") << QStringList() << "" << QByteArray("Can't open config file : config.cfg\n");
    QTest::newRow("only the XDG one, read in its folder") << QStringList() << "xh" << QByteArray("Xdg x0");
    QTest::newRow("both") << QStringList() << "wx" << QByteArray("Main k0");
    QTest::newRow("XDG_CONFIG_HOME empty") << QStringList() << "h" << QByteArray("Home h0");
}

void TestEndToEnd::configFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, places);
    QFETCH(QByteArray, logIn);
    QTemporaryDir dir;
    ScriptedServer server;
    const QByteArray settings = "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(server.port()) + "\nKEY_ON_STARS k.key\nNAME_ON_STARS ";
    const QStringList folders { "w", "x/velmar", "h/.config/velmar" };
    const QByteArrayList nodes { "Main", "Xdg", "Home" };
    const QByteArrayList keys { "k0\n", "x0\n", "h0\n" };
    for (int i = 0; i < folders.size(); ++i) {
        const QString folder = dir.filePath(folders.at(i));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + "/k.key", keys.at(i)));
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
void TestEndToEnd::eventPlaysAndAskIsAnswered()
{
    RelayFixture relay;
    QVERIFY(relay.start({ "Zendri", "Dev" }));
    QTemporaryDir dir;
    QVERIFY(writeWav(dir.filePath("alarm.wav")));
    QVERIFY(writeFile(dir.filePath("config.cfg"), "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(relay.port) + "\nKEY_ON_STARS \""
                                                      + relay.keyFile("Zendri").toUtf8() + "\"\nFLGON Dev\nEVENT Alarm alarm.wav 50 Dev\n"));
    QProcess velmar;
    QVERIFY(startVelmar(velmar, dir.path()));
    const auto devSends = [&relay](const QByteArray &line) {
        QProcess dev;
        dev.start(STARS_CLI, { "Dev", relay.keyFile("Dev"), "--port", QString::number(relay.port), "--send", line });
        return dev.waitForFinished(Wait) && dev.exitCode() == 0 ? dev.readAllStandardOutput() : dev.readAllStandardError();
    };
    // Velmar subscribes as soon as it is logged in, before it can answer anything, so its
    // first answer means that the relay knows the subscription. A Dev that is refused because
    // its last run still holds the name tries again.
    const QByteArray greeting = "Zendri>Dev @Hello Hello! I am Zendri. Nice to meet you!\n";
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>Zendri Hello") == greeting; }, StartWait));
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>System _Alarm").isEmpty(); }, Wait));
    QByteArray errors;
    QVERIFY2(QTest::qWaitFor([&] { return (errors += velmar.readAllStandardError()).contains("PlayingState"); }, Wait), errors);
    velmar.kill();
    velmar.waitForFinished(Wait);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
