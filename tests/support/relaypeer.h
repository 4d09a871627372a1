#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTcpSocket>

// Starts the local relay at `program` on 127.0.0.1 with the key files in `keyDir` and reads
// the port it reports; returns that port, or 0 when the relay did not come up.
quint16 startRelay(QProcess &relay, const QString &program, const QString &keyDir, quint16 port = 0);

// The key the relay tests keep for `node` at `index`: the node in lower case and index mod 3.
QByteArray relayKeyOf(const QByteArray &node, qint64 index);

// One node of a test, talking raw bytes to the relay; keys as relayKeyOf gives them.
struct RelayPeer
{
    static constexpr int Wait = 10000;

    QTcpSocket socket;

    bool open(quint16 port);
    // The next line received, without its line feed; empty when none came in time.
    QByteArray line();
    void send(const QByteArray &bytes);
    // Logs in as `node` and returns the relay's answer.
    QByteArray logIn(quint16 port, const QByteArray &node);
    // Asks the node through this logged-in peer: true once the relay no longer knows it.
    bool isGone(const QByteArray &self, const QByteArray &node);
    bool waitClosed();
};
