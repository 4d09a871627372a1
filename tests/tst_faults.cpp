#include <QtTest>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextEdit>

#include <unistd.h>

#include "app/config.h"
#include "body/body.h"
#include "log/logarea.h"
#include "support.h"
#include "relayfixture.h"
#include "scriptedserver.h"
#include "stars/connectstat.h"
#include "stars/stars.h"

namespace {

constexpr int LongWait = 60000;
constexpr int MiB = 1024 * 1024;
// Lines of the soak: VELMAR_SOAK_LINES, 200k by default; 1M for a manual run.
constexpr int DefaultSoakLines = 200000;
constexpr int SoakChunk = 10000;
constexpr int SoakCheckpoint = 100000;
constexpr qint64 MaxSoakGrowthKiB = 32 * 1024;

const QString HistoryName = QStringLiteral("OrvelHistory.dat");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

// The resident set of this process in KiB.
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool isRoot()
{
    return geteuid() == 0;
}

// The relay as a child process, on a port of its own choosing or a given one.
class Relay
{
public:
    explicit Relay(const QString &keyDir) : keys(keyDir) {}
    ~Relay() { stop(); }

    bool start(quint16 wanted = 0)
    {
        port = startRelay(process, STARS_RELAY, keys, wanted);
        return port != 0;
    }
    void kill()
    {
        process.kill();
        process.waitForFinished();
    }
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        process.waitForFinished();
    }

    QProcess process;
    QString keys;
    quint16 port = 0;
};

} // namespace

// Files that cannot be written, read or trusted, a relay that goes away, and a long run.
class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logFile_data();
    void logFile();
    void historyFile_data();
    void historyFile();
    void keyFile_data();
    void keyFile();
    void configLongLines_data();
    void configLongLines();
    void relayRestart();
    void soak();

private:
    QTemporaryDir *dir = nullptr;
    QString previousDir;
};

void TestFaults::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    previousDir = QDir::currentPath();
}

void TestFaults::cleanup()
{
    QDir::setCurrent(previousDir);
    QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    delete dir;
    config = Config();
}

void TestFaults::logFile_data()
{
    QTest::addColumn<QString>("fault");

    QTest::newRow("disk full") << "/dev/full";
    // As root a read-only directory does not stop writes: the missing directory and the
    // directory in place of the file stand in for it there.
    QTest::newRow("read-only directory") << "read-only";
    QTest::newRow("under a missing directory") << "missing";
    QTest::newRow("a directory") << "directory";
}

// A line that cannot be written is still shown, and the next line tries the file again.
void TestFaults::logFile()
{
    QFETCH(QString, fault);
    QString name = dir->filePath("log.dat");
    if (fault == "/dev/full") {
        name = fault;
    } else if (fault == "read-only") {
        if (isRoot())
            QSKIP("running as root: a read-only directory does not stop writes");
        QVERIFY(QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else if (fault == "missing") {
        name = dir->filePath("no/such/log.dat");
    } else {
        QVERIFY(QDir(dir->path()).mkdir("log.dat"));
    }

    LogArea area(nullptr, LogArea::MaxLogBlocks);
    auto *fileName = area.findChild<QLineEdit *>("LogFileName");
    auto *display = area.findChild<QTextEdit *>("LogDisp");
    fileName->setText(name);
    area.findChild<QCheckBox *>("IsWriteTo")->setChecked(true);
    area.log("first");
    area.log("second");
    // Lines are shown once the event loop runs; a file that opens but refuses the write (the
    // full device) adds one red line after the first.
    const int lines = fault == "/dev/full" ? 3 : 2;
    QTRY_COMPARE(display->toPlainText().split('\n').size(), lines + 1);
    const QStringList shown = display->toPlainText().split('\n');
    QVERIFY(shown.at(0).endsWith(": first"));
    QVERIFY(shown.at(lines - 1).endsWith(": second"));
    if (fault != "/dev/full")
        QVERIFY(!QFileInfo(name).isFile());

    QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString good = dir->filePath("good.dat");
    fileName->setText(good);
    area.log("third");
    QVERIFY(readAll(good).endsWith(": third\n"));
    QCOMPARE(readAll(good).count('\n'), 1);
}

void TestFaults::historyFile_data()
{
    QTest::addColumn<QString>("fault");

    QTest::newRow("disk full") << "/dev/full";
    QTest::newRow("endless zeros") << "/dev/zero";
    QTest::newRow("read-only working directory") << "read-only";
    QTest::newRow("working directory removed") << "removed";
    QTest::newRow("a directory") << "directory";
}

// An entry that cannot be written is lost without harm; a sound file takes the next one.
void TestFaults::historyFile()
{
    QFETCH(QString, fault);
    const QString work = dir->filePath("work");
    QVERIFY(QDir(dir->path()).mkdir("work"));
    QVERIFY(QDir::setCurrent(work));
    const QString history = QDir(work).filePath(HistoryName);
    if (fault.startsWith("/dev/")) {
        QVERIFY(QFile::link(fault, history));
        // Qt's append mode seeks to the end, which a device refuses: one warning per entry.
        const QRegularExpression seek("QIODevice::seek .*Cannot call seek on a sequential device");
        QTest::ignoreMessage(QtWarningMsg, seek);
        QTest::ignoreMessage(QtWarningMsg, seek);
    } else if (fault == "read-only") {
        if (isRoot())
            QSKIP("running as root: a read-only directory does not stop writes");
        QVERIFY(QFile::setPermissions(work, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else if (fault == "removed") {
        QVERIFY(QDir(work).removeRecursively());
    } else {
        QVERIFY(QDir(work).mkdir(HistoryName));
    }

    Stars stars;
    QTest::keyClick(stars.hostField(), Qt::Key_Return);
    QTest::keyClick(stars.portField(), Qt::Key_Return);
    QCOMPARE(stars.hostField()->text(), QString("localhost"));

    QVERIFY(QDir::setCurrent(dir->path()));
    QTest::keyClick(stars.hostField(), Qt::Key_Return);
    QCOMPARE(readAll(dir->filePath(HistoryName)), QByteArray("A: localhost\n"));
}

void TestFaults::keyFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("cannotOpen");

    QTest::newRow("a directory") << "directory" << true;
    QTest::newRow("no read permission") << "unreadable" << true;
    // A device reads as an empty file.
    QTest::newRow("endless zeros") << "/dev/zero" << false;
}

// A key file that cannot serve gives no key line; the client still takes the next line
// as the acceptance and logs in.
void TestFaults::keyFile()
{
    QFETCH(QString, fault);
    QFETCH(bool, cannotOpen);
    QString path = dir->filePath("N.key");
    if (fault == "directory") {
        QVERIFY(QDir(dir->path()).mkdir("N.key"));
    } else if (fault == "unreadable") {
        if (isRoot())
            QSKIP("running as root: a file without permissions stays readable");
        QVERIFY(writeFile(path, "k1\n"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    } else {
        path = fault;
    }

    ScriptedServer server;
    Stars stars;
    QSignalSpy log(&stars, SIGNAL(log(const QString &, const QColor)));
    stars.nodeNameField()->setText("N");
    stars.keyFileField()->setText(path);
    stars.hostField()->setText("127.0.0.1");
    stars.portField()->setText(QString::number(server.port()));
    stars.connectToStars();
    QVERIFY(server.waitForClient());
    server.send("0\n");
    QTRY_COMPARE(stars.connectionState(), int(ConnectStat::Connecting));
    QCOMPARE(log.last().at(0).toString(), QString("I have no key to exchange with Stars."));
    const QString before = (cannotOpen ? "Can't open key file [" : "opening key file [") + path + "]";
    QCOMPARE(log.at(log.size() - 2).at(0).toString(), before);
    server.send("System>N Ok:\n");
    QTRY_COMPARE(stars.connectionState(), int(ConnectStat::Connected));
    QCOMPARE(server.received(), QByteArray());
}

void TestFaults::configLongLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("after");

    const QByteArray big(MiB, 'v');
    const QByteArray blanks(MiB, ' ');
    const QByteArray tail = "\nAFTER yes\n";
    QTest::newRow("1 MiB value") << "LONG " + big + tail << "LONG" << QString(big) << "yes";
    QTest::newRow("1 MiB quoted value with blanks") << "LONG \"a " + big + " b\"" + tail << "LONG"
                                                    << "a " + QString(big) + " b" << "yes";
    QTest::newRow("1 MiB key") << big + " short" + tail << QString(big) << "short" << "yes";
    QTest::newRow("1 MiB comment") << "SHORT s #" + big + tail << "SHORT" << "s" << "yes";
    QTest::newRow("1 MiB of blanks before the key") << blanks + "SHORT s" + tail << "SHORT" << "s" << "yes";
    QTest::newRow("1 MiB unterminated quote") << "LONG \"" + big + tail << "LONG" << QString(big) << "yes";
    QTest::newRow("1 MiB last line without line feed") << "AFTER yes\nLONG " + big << "LONG" << QString(big) << "yes";
    // A device reads as an empty file.
    QTest::newRow("endless zeros") << QByteArray() << "LONG" << "" << "";
}

void TestFaults::configLongLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, after);

    QString path = dir->filePath("config.cfg");
    if (content.isEmpty())
        path = "/dev/zero";
    else
        QVERIFY(writeFile(path, content));
    Config loaded;
    loaded.loadFile(path);
    QCOMPARE(loaded.valueOf(key), value);
    QCOMPARE(loaded.valueOf("AFTER"), after);
}

// The relay dies under a connected main window and comes back: the window shows it,
// a click logs in again and the subscriptions are renewed.
void TestFaults::relayRestart()
{
    for (const QByteArray node : { "N", "Dev" }) {
        const QByteArray name = node.toLower();
        QVERIFY(writeFile(dir->filePath(node + ".key"), name + "0\n" + name + "1\n" + name + "2\n"));
    }
    Relay relay(dir->path());
    QVERIFY(relay.start());
    const QString configPath = dir->filePath("config.cfg");
    QVERIFY(writeFile(configPath, "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(relay.port)
                                      + "\nNAME_ON_STARS N\nKEY_ON_STARS \"" + dir->filePath("N.key").toUtf8()
                                      + "\"\nFLGON Dev\n"));
    config = Config();
    config.loadFile(configPath);

    Body body;
    auto *status = body.findChild<QLabel *>("statusL");
    auto *button = body.findChild<QPushButton *>("connectB");
    auto *stars = body.findChild<Stars *>();
    QVERIFY(status && button && stars);
    QSignalSpy events(stars, SIGNAL(anyEvent(const AMsg &)));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Connected"), LongWait);

    const auto devEventArrives = [&] {
        QTcpSocket dev;
        dev.connectToHost(QHostAddress::LocalHost, relay.port);
        QVERIFY(dev.waitForConnected(5000));
        QTRY_VERIFY(dev.canReadLine());
        const qint64 index = dev.readLine().trimmed().toLongLong();
        dev.write("Dev dev" + QByteArray::number(index % 3) + "\n");
        QTRY_VERIFY(dev.canReadLine());
        QCOMPARE(dev.readLine(), QByteArray("System>Dev Ok:\n"));
        events.clear();
        dev.write("Dev>System _Alarm\n");
        QTRY_COMPARE(events.count(), 1);
        QCOMPARE(events.at(0).at(0).value<AMsg>().line, QString("Dev>N _Alarm"));
        dev.disconnectFromHost();
    };
    devEventArrives();
    if (QTest::currentTestFailed())
        return;

    const quint16 port = relay.port;
    relay.kill();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Disconnected"), LongWait);
    QCOMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    QVERIFY(relay.start(port));

    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Connected"), LongWait);
    devEventArrives();
}

// Many Hello asks with the log file on: every echoed line is in the file, in order, and
// the memory stays flat once the display has reached its block limit.
void TestFaults::soak()
{
    const int lines = qEnvironmentVariableIsSet("VELMAR_SOAK_LINES")
                          ? qEnvironmentVariableIntValue("VELMAR_SOAK_LINES")
                          : DefaultSoakLines;
    QVERIFY(lines >= SoakCheckpoint);
    QVERIFY(writeFile(dir->filePath("N.key"), "k\n"));
    ScriptedServer server;
    Stars stars;
    stars.nodeNameField()->setText("N");
    stars.keyFileField()->setText(dir->filePath("N.key"));
    stars.setLogSendingMsg(true);
    QVERIFY(logIn(server, stars));

    LogArea area(nullptr, LogArea::MaxLogBlocks);
    const QString logPath = dir->filePath("soak.dat");
    area.findChild<QLineEdit *>("LogFileName")->setText(logPath);
    area.findChild<QCheckBox *>("IsWriteTo")->setChecked(true);
    QVERIFY(connect(&stars, SIGNAL(log(const QString &, const QColor)), &area,
                    SLOT(log(const QString &, const QColor))));

    QElapsedTimer timer;
    timer.start();
    qint64 checkpointKiB = 0;
    for (int sent = 0; sent < lines; sent += SoakChunk) {
        QByteArray chunk;
        for (int i = sent; i < sent + SoakChunk; ++i)
            chunk += "C." + QByteArray::number(i) + ">N Hello\n";
        server.send(chunk);
        QVERIFY(server.waitForLines(SoakChunk, LongWait));
        server.clearReceived();
        if (sent + SoakChunk == SoakCheckpoint)
            checkpointKiB = residentKiB();
    }
    const qint64 endKiB = residentKiB();
    qInfo("soak: %d lines in %lld ms; VmRSS %lld KiB after %d lines, %lld KiB at the end",
          lines, timer.elapsed(), checkpointKiB, SoakCheckpoint, endKiB);
    QVERIFY2(endKiB - checkpointKiB < MaxSoakGrowthKiB,
             qPrintable(QString("grew by %1 KiB").arg(endKiB - checkpointKiB)));

    QFile file(logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QRegularExpression shape(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d: ---- Snd N>C\.(\d+) @Hello Hello! I am N\. Nice to meet you!\n$)");
    int count = 0;
    for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine(), ++count) {
        const QRegularExpressionMatch match = shape.match(QString::fromLatin1(line));
        QVERIFY2(match.hasMatch(), line.constData());
        QCOMPARE(match.captured(1).toInt(), count);
    }
    QCOMPARE(count, lines);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
