#include <QtTest>

#include "scriptedserver.h"
#include "support.h"

constexpr int Wait = 10000;

// Which configuration file the program reads for a command line: every file points the
// client at the test's server under a node name of its own, so the key line tells them apart.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void configFile_data();
    void configFile();
};

void TestStartup::configFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("node");

    QTest::newRow("no arguments") << QStringList() << QByteArray("Main");
    QTest::newRow("-config before -c") << QStringList { "-config", "a.cfg", "-c", "b.cfg" } << QByteArray("A");
    QTest::newRow("-config after -c") << QStringList { "-c", "b.cfg", "-config", "a.cfg" } << QByteArray("A");
    QTest::newRow("first -c") << QStringList { "-c", "a.cfg", "-c", "b.cfg" } << QByteArray("A");
    QTest::newRow("-Config is no option word") << QStringList { "-Config", "a.cfg" } << QByteArray("Main");
    QTest::newRow("-c without a name") << QStringList { "-c" } << QByteArray();
}

void TestStartup::configFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, node);
    QTemporaryDir dir;
    ScriptedServer server;
    QVERIFY(writeFile(dir.filePath("k.key"), "k0\n"));
    const QByteArray settings = "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(server.port()) + "\nKEY_ON_STARS k.key\nNAME_ON_STARS ";
    for (const QString &file : QStringList { "config.cfg", "a.cfg", "b.cfg" })
        QVERIFY(writeFile(dir.filePath(file), settings + (file == "config.cfg" ? "Main" : file.left(1).toUpper().toLatin1()) + '\n'));
    QProcess velmar;
    QVERIFY(startVelmar(velmar, dir.path(), arguments));
    if (node.isEmpty()) {
        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] { return (errors += velmar.readAllStandardError()).contains("Can't open config file : \n"); }, Wait));
        // An empty name is not handed to Qt, which would warn about it.
        QVERIFY2(!errors.contains("No file name specified"), errors);
        // Without a file the client goes to the default address, not to the test's server.
        QVERIFY(!server.waitForClient(1000));
    } else {
        QVERIFY2(server.waitForClient(Wait), velmar.readAllStandardError());
        server.send("0\n");
        QVERIFY(server.waitForLines(1, Wait));
        QCOMPARE(server.lines().first(), node + " k0");
    }
    velmar.kill();
    velmar.waitForFinished();
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
