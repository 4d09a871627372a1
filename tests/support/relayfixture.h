#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

// The real relay: stars-relay on 127.0.0.1 with a key folder in which every node a test names
// has the three keys keyOf(node, 0..2). Stopped when the fixture goes.
class RelayFixture
{
public:
    // For one answer or one start of the relay on a loaded machine; well below the relay's 30 s
    // keep-alive, which would drop by itself a peer that never reads.
    static constexpr int Wait = 5000;

    ~RelayFixture();

    // Writes the key files and starts the relay on `port` (0: a free one); true once it listens.
    bool start(const QByteArrayList &nodes, quint16 port = 0);

    // The key a node's key file holds at `index`: the node in lower case and index mod 3.
    static QByteArray keyOf(const QByteArray &node, qint64 index) { return node.toLower() + QByteArray::number(index % 3); }
    QString keyFile(const QByteArray &node) const { return keys.filePath(QString::fromLatin1(node) + QStringLiteral(".key")); }

    quint16 port = 0;
    QTemporaryDir keys;
    QProcess process;
};

// One node of a test, talking raw bytes to the relay; keys as RelayFixture::keyOf gives them.
struct RelayPeer
{
    QTcpSocket socket;
    // The key index the relay sent, and the node this peer logged in as.
    qint64 keyIndex = -1;
    QByteArray node;

    // Connects and reads the key index.
    bool open(quint16 port);
    // The next line received, without its line feed; empty when none came in time.
    QByteArray line();
    void send(const QByteArray &bytes) { socket.write(bytes + '\n'); }
    // Logs in as `node` and returns the relay's answer.
    QByteArray logIn(quint16 port, const QByteArray &node);
};
