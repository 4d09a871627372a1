#include <QtTest>

#include <QTemporaryDir>

#include "app/config.h"
#include "app/settings.h"
#include "debugcapture.h"
#include "support.h"

using Values = QList<int>;

// The operator keys: defaults, bounds and one debug line for each value that had to be changed.
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void bounds_data();
    void bounds();
};

void TestSettings::bounds_data()
{
    QTest::addColumn<QByteArray>("text");
    // reconnect ms, max reconnect ms, timeout ms, alarm volume, alarm repeat ms, sound errors
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("alarmFile");
    QTest::addColumn<int>("debugLines");

    const Values off {0, 0, 0, 100, 30000, 0};
    QTest::newRow("no keys") << QByteArray("STARS_PORT 1\n") << off << "" << 0;
    QTest::newRow("reconnect, default max") << QByteArray("reconnect_sec 2\n") << Values {2000, 60000, 0, 100, 30000, 0} << "" << 0;
    QTest::newRow("reconnect above the default max") << QByteArray("RECONNECT_SEC 90\n") << Values {90000, 90000, 0, 100, 30000, 0} << "" << 0;
    QTest::newRow("max below reconnect") << QByteArray("RECONNECT_SEC 10\nRECONNECT_MAX_SEC 5\n") << Values {10000, 10000, 0, 100, 30000, 0} << "" << 1;
    QTest::newRow("max not a number") << QByteArray("RECONNECT_SEC 1\nRECONNECT_MAX_SEC x\n") << Values {1000, 60000, 0, 100, 30000, 0} << "" << 1;
    QTest::newRow("reconnect too long") << QByteArray("RECONNECT_SEC 99999\n") << Values {3600000, 3600000, 0, 100, 30000, 0} << "" << 1;
    QTest::newRow("reconnect not a number") << QByteArray("RECONNECT_SEC soon\n") << off << "" << 1;
    QTest::newRow("reconnect negative") << QByteArray("RECONNECT_SEC -5\n") << off << "" << 1;
    QTest::newRow("timeout below its bound") << QByteArray("LINK_TIMEOUT_SEC 2\n") << Values {0, 0, 5000, 100, 30000, 0} << "" << 1;
    QTest::newRow("timeout zero") << QByteArray("LINK_TIMEOUT_SEC 0\n") << off << "" << 0;
    QTest::newRow("alarm defaults") << QByteArray("LINK_LOST_SOUND a.wav\n") << off << "a.wav" << 0;
    QTest::newRow("alarm out of bounds") << QByteArray("LINK_LOST_SOUND \"my a.wav\" 150 1\n") << Values {0, 0, 0, 100, 5000, 0} << "my a.wav" << 2;
    QTest::newRow("alarm volume and repeat") << QByteArray("LINK_LOST_SOUND a.wav 40 60\n") << Values {0, 0, 0, 40, 60000, 0} << "a.wav" << 0;
    QTest::newRow("alarm volume not a number") << QByteArray("LINK_LOST_SOUND a.wav loud\n") << off << "a.wav" << 1;
    QTest::newRow("first alarm line counts") << QByteArray("LINK_LOST_SOUND a.wav\nLINK_LOST_SOUND b.wav\n") << off << "a.wav" << 0;
    QTest::newRow("sound errors on") << QByteArray("SHOW_SOUND_ERRORS 1\n") << Values {0, 0, 0, 100, 30000, 1} << "" << 0;
    QTest::newRow("sound errors yes") << QByteArray("SHOW_SOUND_ERRORS yes\n") << off << "" << 1;
}

void TestSettings::bounds()
{
    QFETCH(QByteArray, text);
    QFETCH(Values, values);
    QFETCH(QString, alarmFile);
    QFETCH(int, debugLines);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("c.cfg"), text));
    Config config;
    config.loadFile(dir.filePath("c.cfg"));

    const DebugCapture debug("velmar.config");
    const Settings s = Settings::fromConfig(config);

    const Values got {s.link.reconnectMs, s.link.maxReconnectMs, s.link.timeoutMs,
                      s.linkLostSound.volume, s.linkLostSound.repeatMs, int(s.showSoundErrors)};
    QCOMPARE(got, values);
    QCOMPARE(s.linkLostSound.file, alarmFile);
    QCOMPARE(debug.lines.size(), debugLines);
    QCOMPARE(s.supervisesLink(), values.at(0) > 0 || values.at(2) > 0 || !alarmFile.isEmpty());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
