#include <QtTest>

#include "operator/horn.h"

// Silence, mute and snooze, hold-off and repeat until acknowledged, driven by a script on a
// clock of the test's own. Two rows, "A" and "B"; every event comes from Dev.
class TestHorn : public QObject
{
    Q_OBJECT

private slots:
    void script_data();
    void script();
    void snoozeEndsByItself();
    void anyOrderOfControls();
};

void TestHorn::script_data()
{
    QTest::addColumn<int>("holdoffMs");
    QTest::addColumn<bool>("repeat");
    // r: an event; m0: it matches row 0; e0: row 0 played to its end; c0: row 0's button;
    // s: Silence; M: Mute; S: Snooze 1 min; t500: 500 ms pass.
    QTest::addColumn<QString>("steps");
    // +0 start row 0, -0 stop it, h0:2 its held-back count, a0/A0 waits for or got its
    // acknowledgement, ! the link alarm silenced, [..] a log line.
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("counters");  // received matched heldBack

    QTest::newRow("plays every match") << 0 << false << "r m0 m1 r m0" << "+0 +1 +0" << "2 2 0";
    QTest::newRow("silence stops, the next event sounds") << 0 << false << "r m0 s r m0" << "+0 -0 -1 ! [Horn silenced] +0" << "2 2 0";
    QTest::newRow("mute holds and logs each match") << 0 << false << "M r m0 m1 r m1 r"
        << "[Horn muted] -0 -1 [Muted: Dev Alarm for [A]] [Muted: Dev Alarm for [B]] [Muted: Dev Alarm for [B]]" << "3 2 2";
    QTest::newRow("mute again unmutes") << 0 << false << "M M r m0" << "[Horn muted] -0 -1 [Horn unmuted] +0" << "1 1 0";
    QTest::newRow("button blocked while muted") << 0 << false << "M c0" << "[Horn muted] -0 -1 [Muted: [A] not played]" << "0 0 0";
    QTest::newRow("snooze clicked again ends") << 0 << false << "S r m0 S r m0"
        << "[Horn snoozed for 1 min] -0 -1 [Snoozed: Dev Alarm for [A]] [Snooze ended] +0" << "2 2 1";
    QTest::newRow("snooze ends a mute") << 0 << false << "M S S" << "[Horn muted] -0 -1 [Horn snoozed for 1 min] -0 -1 [Snooze ended]" << "0 0 0";
    QTest::newRow("hold-off counts, logs at the next start") << 1000 << false << "r m0 t400 r m0 t400 r m0 m1 t300 r m0"
        << "+0 h0:1 h0:2 +1 [[A] held back 2 events since it last started] h0:0 +0" << "4 4 0";
    QTest::newRow("hold-off per row") << 1000 << false << "r m0 m1 t10 r m1" << "+0 +1 h1:1" << "2 2 0";
    QTest::newRow("repeat until acknowledged") << 0 << true << "r m0 e0 t5000 e0 c0 e0"
        << "a0 +0 +0 +0 A0 -0 [[A] acknowledged 00:00:05 after its first ring]" << "1 1 0";
    QTest::newRow("a button click plays once") << 0 << true << "c0 e0" << "+0" << "0 0 0";
    QTest::newRow("silence acknowledges") << 0 << true << "r m0 m1 s e0"
        << "a0 +0 a1 +1 -0 -1 A0 -0 [[A] acknowledged 00:00:00 after its first ring] A1 -1 [[B] acknowledged 00:00:00 after its first ring] ! [Horn silenced]" << "1 1 0";
    QTest::newRow("mute stops repeats, unmute rings again") << 0 << true << "r m0 M e0 M e0"
        << "a0 +0 [Horn muted] -0 -1 [Horn unmuted] +0 +0" << "1 1 0";
}

void TestHorn::script()
{
    QFETCH(int, holdoffMs);
    QFETCH(bool, repeat);
    QFETCH(QString, steps);
    QFETCH(QString, trace);
    QFETCH(QString, counters);
    qint64 now = 1000000;
    Horn horn({"A", "B"}, HornSettings {holdoffMs, repeat}, nullptr, [&now] { return now; });
    QStringList seen;
    connect(&horn, &Horn::startRow, this, [&](int row) { seen << QStringLiteral("+%1").arg(row); });
    connect(&horn, &Horn::stopRow, this, [&](int row) { seen << QStringLiteral("-%1").arg(row); });
    connect(&horn, &Horn::heldBackChanged, this, [&](int row, int n) { seen << QStringLiteral("h%1:%2").arg(row).arg(n); });
    connect(&horn, &Horn::waitingForAck, this, [&](int row, bool on) { seen << QStringLiteral("%1%2").arg(on ? 'a' : 'A').arg(row); });
    connect(&horn, &Horn::silenced, this, [&] { seen << "!"; });
    connect(&horn, &Horn::log, this, [&](const QString &line) { seen << '[' + line + ']'; });

    for (const QString &step : steps.split(' ')) {
        const int arg = step.mid(1).toInt();
        switch (step.at(0).toLatin1()) {
        case 'r': horn.eventReceived(); break;
        case 'm': horn.rowMatched(arg, "Dev", "Alarm"); break;
        case 'e': horn.rowEnded(arg); break;
        case 'c': horn.buttonClicked(arg); break;
        case 's': horn.silence(); break;
        case 'M': horn.toggleMute(); break;
        case 'S': horn.toggleSnooze(60000); break;
        case 't': now += arg; break;
        }
    }
    QCOMPARE(seen.join(' '), trace);
    const Horn::Counters c = horn.counters();
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(c.received).arg(c.matched).arg(c.heldBack), counters);
}

// A snooze ends by itself, says so, and rings the rows that still wait.
void TestHorn::snoozeEndsByItself()
{
    Horn horn({"A"}, HornSettings {0, true});
    QSignalSpy starts(&horn, &Horn::startRow);
    QSignalSpy lines(&horn, &Horn::log);
    horn.rowMatched(0, "Dev", "Alarm");
    horn.toggleSnooze(50);
    QCOMPARE(horn.quiet(), Horn::Quiet::Snoozed);
    QVERIFY(horn.snoozeRemainingMs() <= 50);
    QTRY_COMPARE(horn.quiet(), Horn::Quiet::Off);
    QCOMPARE(lines.last().at(0).toString(), QStringLiteral("Snooze ended"));
    QCOMPARE(starts.size(), 2);
}

// Controls clicked in any order while events arrive: nothing plays while the horn is quiet,
// and every event that matches while it is quiet gets its line.
void TestHorn::anyOrderOfControls()
{
    qint64 now = 0;
    Horn horn({"A", "B"}, HornSettings {500, true}, nullptr, [&now] { return now; });
    QSet<int> playing;
    int quietLines = 0;
    int quietMatches = 0;
    connect(&horn, &Horn::startRow, this, [&](int row) { playing.insert(row); });
    connect(&horn, &Horn::stopRow, this, [&](int row) { playing.remove(row); });
    connect(&horn, &Horn::log, this, [&](const QString &line) { quietLines += line.contains(": Dev Alarm for ["); });
    QRandomGenerator random(7);
    for (int i = 0; i < 20000; ++i) {
        const int row = random.bounded(2);
        switch (random.bounded(8)) {
        case 0:
            horn.eventReceived();
            quietMatches += horn.quiet() != Horn::Quiet::Off;
            horn.rowMatched(row, "Dev", "Alarm");
            break;
        case 1:
            if (playing.remove(row))
                horn.rowEnded(row);
            break;
        case 2: horn.buttonClicked(row); break;
        case 3: horn.silence(); break;
        case 4: horn.toggleMute(); break;
        case 5: horn.toggleSnooze(random.bounded(2) ? 60000 : 300000); break;
        default: now += random.bounded(1000); break;
        }
        if (horn.quiet() != Horn::Quiet::Off)
            QVERIFY2(playing.isEmpty(), qPrintable(QString::number(i)));
    }
    QCOMPARE(quietLines, quietMatches);
}

QTEST_GUILESS_MAIN(TestHorn)
#include "tst_horn.moc"
