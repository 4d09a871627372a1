#include <QtTest>
#include <QtWidgets>

#include "body/body.h"
#include "clientfixture.h"
#include "log/logarea.h"
#include "relayfixture.h"
#include "stars/stars.h"
#include "support.h"

// A failed QTRY waits three times this; two failed rows must still end before CTest's time-out
// kills the run and leaves the relay behind.
constexpr int LongWait = 20000;
// The soak's lines come in chunks larger than the client's 64 KiB receive run; two chunks
// fill the log window past its block limit. VELMAR_SOAK_LINES asks for a long run, which also
// checks the memory: only the bulk of a long run tells a leak from the heap's own growth.
constexpr int SoakChunk = 5000;
constexpr qint64 MaxSoakGrowthKiB = 32 * 1024;

// The resident set of this process in KiB.
static qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return text.mid(text.indexOf("VmRSS:") + 6).trimmed().split(' ').value(0).toLongLong();
}

// The whole client under a relay that goes away, and under a long run of traffic.
class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void relayRestart_data();
    void relayRestart();
    void soak();
};

void TestFaults::relayRestart_data()
{
    QTest::addColumn<QByteArray>("keys");

    QTest::newRow("logged in again by a click") << QByteArray();
    QTest::newRow("logged in again by itself") << QByteArray("RECONNECT_SEC 1\n");
}

// The relay dies under a logged-in main window and comes back on its port: the window shows
// the loss, logs in again and renews its subscription, so Dev's events arrive again.
void TestFaults::relayRestart()
{
    QFETCH(QByteArray, keys);
    RelayFixture relay;
    QVERIFY(relay.start({ "N", "Dev" }));
    QVERIFY(loadConfig("STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(relay.port) + "\nNAME_ON_STARS N\nKEY_ON_STARS \""
                       + relay.keyFile("N").toUtf8() + "\"\nFLGON Dev\n" + keys));
    Body body;
    auto *status = body.findChild<QLabel *>("statusL");
    QSignalSpy events(body.findChild<Stars *>(), SIGNAL(anyEvent(const AMsg &)));
    for (int run = 1; run <= 2; ++run) {
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Connected"), LongWait);
        RelayPeer dev;
        QCOMPARE(dev.logIn(relay.port, "Dev"), QByteArray("System>Dev Ok:"));
        dev.send("Dev>System _Alarm");
        QTRY_COMPARE(events.count(), run);
        QCOMPARE(events.last().at(0).value<AMsg>().line, QString("Dev>N _Alarm"));
        if (run == 2)
            return;
        relay.process.kill();
        relay.process.waitForFinished();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Disconnected"), LongWait);
        QVERIFY(relay.start({ "N", "Dev" }, relay.port));
        if (keys.isEmpty())
            body.findChild<QPushButton *>("connectB")->click();
    }
}

// Hello asks answered with the log file on: every answer reaches the file, in order, and on a
// long run the memory stays flat once the log window has reached its block limit.
void TestFaults::soak()
{
    const int asked = qEnvironmentVariableIntValue("VELMAR_SOAK_LINES");
    const int lines = SoakChunk * qMax(2, asked / SoakChunk);
    ClientFixture client;
    client.stars.setLogSendingMsg(true);
    QVERIFY(client.logIn());
    // The fixture's own records would grow with every line.
    QObject::disconnect(&client.stars, nullptr, &client, nullptr);
    LogArea area(nullptr, LogArea::MaxLogBlocks);
    const QString logPath = client.dir.filePath("soak.dat");
    area.findChild<QLineEdit *>("LogFileName")->setText(logPath);
    area.findChild<QCheckBox *>("IsWriteTo")->setChecked(true);
    QVERIFY(connect(&client.stars, SIGNAL(log(const QString &, const QColor)), &area, SLOT(log(const QString &, const QColor))));

    qint64 halfwayKiB = 0;
    for (int sent = 0; sent < lines; sent += SoakChunk) {
        QByteArray chunk;
        for (int i = sent; i < sent + SoakChunk; ++i)
            chunk += "C." + QByteArray::number(i) + ">Zendri Hello\n";
        client.server.send(chunk);
        QVERIFY(client.server.waitForLines(SoakChunk, LongWait));
        client.server.clearReceived();
        if (sent < lines / 2)
            halfwayKiB = residentKiB();
    }
    if (asked > 0)
        QVERIFY2(residentKiB() - halfwayKiB < MaxSoakGrowthKiB, qPrintable(QString::number(residentKiB() - halfwayKiB)));

    QFile file(logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArrayList written = file.readAll().split('\n');
    QCOMPARE(written.size() - 1, lines);
    for (int i = 0; i < written.size() - 1; ++i)
        QCOMPARE(written.at(i).mid(23), "---- Snd Zendri>C." + QByteArray::number(i) + " @Hello Hello! I am Zendri. Nice to meet you!");
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
