#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The velmar process and its journal as the soak saw them after `events` events.
struct SoakSample
{
    qint64 events = 0;
    double seconds = 0;
    qint64 residentKiB = -1;
    int descriptors = -1;
    int threads = -1;
    qint64 journalBytes = -1;
};

// What one soak showed: the samples, what was sent and what the client accounted for, the
// answers to the asks of a second node, and the faults (a program that did not end cleanly on
// SIGTERM, with its error output, or that printed a sanitizer's report).
struct SoakRun
{
    QVector<SoakSample> samples;
    qint64 sent = 0;
    qint64 sentRare = 0;
    // Each -1 when it could not be read.
    qint64 journalEvents = -1;
    qint64 commonAlarmCount = -1;
    qint64 rareAlarmCount = -1;
    qint64 programRuns = -1;
    int asks = 0;
    // The milliseconds until each answer.
    QVector<double> answerMs;
    double eventsPerSecond = -1;
    QStringList faults;
};

// `events` events through the stars-relay at `relayPath` to the velmar program at `velmarPath`
// (journal, horn, alarm list and a program on the rare event on), at `perSecond` at most,
// pausing every `sampleEvery` events until the client has answered an ask behind them, and
// then sampling it; meanwhile a second node asks every 100 ms. Both programs end with SIGTERM.
SoakRun runSoak(const QString &velmarPath, const QString &relayPath, qint64 events, int perSecond,
                qint64 sampleEvery, QString &error);
