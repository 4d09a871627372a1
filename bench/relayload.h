#pragma once

#include <QString>

// Events per second that the relay at `relayPath` forwards from one publisher to
// `subscribers` subscribers, each of which must receive all `events` lines;
// a negative result when the run failed (`error` says why).
double relayEventsPerSecond(const QString &relayPath, int subscribers, int events, QString &error);
