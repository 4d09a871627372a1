#pragma once

#include <QByteArray>
#include <QString>

class QProcess;
class QTcpSocket;

// The one key of every node in the benchmarks' key folders.
const QByteArray RelayKey = QByteArrayLiteral("k");

// Events per second that the relay at `relayPath` forwards from one publisher to
// `subscribers` subscribers, each of which must receive all `events` lines;
// a negative result when the run failed (`error` says why).
double relayEventsPerSecond(const QString &relayPath, int subscribers, int events, QString &error);

// Starts the relay at `relayPath` on a free loopback port with the key folder `keyDir`, its log
// on standard error to `logFile`; returns the port, 0 when it did not start.
quint16 startRelay(QProcess &relay, const QString &relayPath, const QString &keyDir, const QString &logFile);
// Writes the key file of `node` into `keyDir`, holding RelayKey; false on failure.
bool writeKey(const QString &keyDir, const QString &node);
// Logs `socket` in to the relay on `port` as `node`; true once the relay accepted it.
bool logIn(QTcpSocket &socket, quint16 port, const QByteArray &node);
// Waits up to a minute for the next line on `socket`.
bool readLine(QTcpSocket &socket, QByteArray &line);
