#include "relaypeer.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTest>

quint16 startRelay(QProcess &relay, const QString &program, const QString &keyDir, quint16 port)
{
    relay.setProcessChannelMode(QProcess::SeparateChannels);
    relay.start(program, {"--port", QString::number(port), "--keys", keyDir});
    if (!relay.waitForStarted(RelayPeer::Wait))
        return 0;
    if (!QTest::qWaitFor([&relay] { return relay.canReadLine(); }, RelayPeer::Wait))
        return 0;
    const QByteArray listening = relay.readLine().trimmed();
    if (!listening.startsWith("listening on 127.0.0.1:"))
        return 0;
    return quint16(listening.mid(listening.lastIndexOf(':') + 1).toUInt());
}

QByteArray relayKeyOf(const QByteArray &node, qint64 index)
{
    return node.toLower() + QByteArray::number(index % 3);
}

bool RelayPeer::open(quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(Wait);
}

QByteArray RelayPeer::line()
{
    QSignalSpy spy(&socket, &QTcpSocket::readyRead);
    while (!socket.canReadLine() && spy.wait(Wait)) { }
    QByteArray text = socket.readLine();
    if (text.endsWith('\n'))
        text.chop(1);
    return text;
}

void RelayPeer::send(const QByteArray &bytes)
{
    socket.write(bytes + '\n');
}

QByteArray RelayPeer::logIn(quint16 port, const QByteArray &node)
{
    if (!open(port))
        return {};
    const qint64 index = line().toLongLong();
    send(node + ' ' + relayKeyOf(node, index));
    return line();
}

bool RelayPeer::isGone(const QByteArray &self, const QByteArray &node)
{
    send(self + '>' + node + " Ping");
    return line() == "System>" + self + " @Ping Er: node " + node + " is not connected";
}

bool RelayPeer::waitClosed()
{
    if (socket.state() == QAbstractSocket::UnconnectedState)
        return true;
    QSignalSpy spy(&socket, &QTcpSocket::disconnected);
    return spy.wait(Wait);
}
