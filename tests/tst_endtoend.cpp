#include <QtTest>

#include "relayfixture.h"
#include "support.h"

// The relay, the velmar program and a second node, the console node Dev, together.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void eventPlaysAndAskIsAnswered();
};

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
        return dev.waitForFinished() && dev.exitCode() == 0 ? dev.readAllStandardOutput() : dev.readAllStandardError();
    };
    // Velmar subscribes as soon as it is logged in, before it can answer anything, so its
    // first answer means that the relay knows the subscription. A Dev that is refused because
    // its last run still holds the name tries again.
    const QByteArray greeting = "Zendri>Dev @Hello Hello! I am Zendri. Nice to meet you!\n";
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>Zendri Hello") == greeting; }, RelayFixture::Wait * 3));
    QVERIFY(QTest::qWaitFor([&] { return devSends("Dev>System _Alarm").isEmpty(); }, RelayFixture::Wait));
    QByteArray errors;
    QVERIFY2(QTest::qWaitFor([&] { return (errors += velmar.readAllStandardError()).contains("PlayingState"); }, RelayFixture::Wait), errors);
    velmar.kill();
    velmar.waitForFinished();
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
