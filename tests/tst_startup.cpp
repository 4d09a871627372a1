#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include "support.h"
#include "scriptedserver.h"

// Which configuration file the program reads for a command line: every file points the
// client at the test's server under its own node name, so the key line tells them apart.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void configFile_data();
    void configFile();
    void missingFileName();

private:
    void startVelmar(const QStringList &arguments);

    QTemporaryDir *dir = nullptr;
    ScriptedServer *server = nullptr;
    QProcess *velmar = nullptr;
};

namespace {

// The node name each configuration file gives.
const QList<QPair<QString, QByteArray>> Files {
    { "config.cfg", "Main" }, { "my.cfg", "Mine" }, { "a.cfg", "FirstA" }, { "b.cfg", "SecondB" } };

} // namespace

void TestStartup::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    server = new ScriptedServer;
    QVERIFY(server->isListening());
    for (const auto &file : Files) {
        QVERIFY(writeFile(dir->filePath(file.second + ".key"), "k0\n"));
        QVERIFY(writeFile(dir->filePath(file.first),
                          "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(server->port())
                              + "\nNAME_ON_STARS " + file.second + "\nKEY_ON_STARS " + file.second
                              + ".key\n"));
    }
}

void TestStartup::cleanup()
{
    if (velmar) {
        velmar->kill();
        velmar->waitForFinished(10000);
    }
    delete velmar;
    velmar = nullptr;
    delete server;
    server = nullptr;
    delete dir;
    dir = nullptr;
}

void TestStartup::startVelmar(const QStringList &arguments)
{
    velmar = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_LOGGING_RULES", "velmar.*.debug=true");
    environment.remove("QT_MESSAGE_PATTERN");
    velmar->setProcessEnvironment(environment);
    velmar->setWorkingDirectory(dir->path());
    velmar->start(VELMAR_BIN, arguments);
    QVERIFY(velmar->waitForStarted(10000));
}

void TestStartup::configFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("node");

    QTest::newRow("no arguments") << QStringList() << QByteArray("Main");
    QTest::newRow("-c my.cfg") << QStringList { "-c", "my.cfg" } << QByteArray("Mine");
    QTest::newRow("-config a.cfg -c b.cfg")
        << QStringList { "-config", "a.cfg", "-c", "b.cfg" } << QByteArray("FirstA");
    QTest::newRow("-c b.cfg -config a.cfg")
        << QStringList { "-c", "b.cfg", "-config", "a.cfg" } << QByteArray("FirstA");
    QTest::newRow("-c a.cfg -c b.cfg") << QStringList { "-c", "a.cfg", "-c", "b.cfg" }
                                       << QByteArray("FirstA");
    QTest::newRow("-Config my.cfg") << QStringList { "-Config", "my.cfg" } << QByteArray("Main");
    QTest::newRow("lone argument") << QStringList { "my.cfg" } << QByteArray("Main");
    QTest::newRow("-c a b c") << QStringList { "-c", "a.cfg", "b.cfg", "my.cfg" }
                              << QByteArray("FirstA");
    QTest::newRow("-STARS_IP is an option") << QStringList { "-STARS_IP", "10.9.9.9", "-c", "my.cfg" }
                                            << QByteArray("Mine");
}

void TestStartup::configFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, node);
    startVelmar(arguments);

    QVERIFY2(server->waitForClient(10000), velmar->readAllStandardError());
    server->send("0\n");
    QVERIFY(server->waitForLines(1, 10000));
    QCOMPARE(server->lines().first(), node + " k0");
}

void TestStartup::missingFileName()
{
    startVelmar({ "-c" });

    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT(
        (errors += velmar->readAllStandardError()).contains("Can't open config file : \n"), 10000);
    // Without a file the client goes to the default address, not to the test's server.
    QVERIFY(!server->waitForClient(1000));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
