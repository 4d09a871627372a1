#include "relayfixture.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTest>

#include "support.h"

RelayFixture::~RelayFixture()
{
    process.terminate();
    process.waitForFinished(Wait);
}

bool RelayFixture::start(const QByteArrayList &nodes, quint16 wanted)
{
    for (const QByteArray &node : nodes) {
        if (!writeFile(keyFile(node), keyOf(node, 0) + '\n' + keyOf(node, 1) + '\n' + keyOf(node, 2) + '\n'))
            return false;
    }
    process.start(QStringLiteral(STARS_RELAY), {"--port", QString::number(wanted), "--keys", keys.path()});
    if (!process.waitForStarted(Wait) || !QTest::qWaitFor([this] { return process.canReadLine(); }, Wait))
        return false;
    const QByteArray listening = process.readLine().trimmed();
    port = quint16(listening.mid(listening.lastIndexOf(':') + 1).toUInt());
    return listening.startsWith("listening on 127.0.0.1:");
}

bool RelayPeer::open(quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    bool isNumber = false;
    keyIndex = socket.waitForConnected(RelayFixture::Wait) ? line().toLongLong(&isNumber) : -1;
    return isNumber;
}

QByteArray RelayPeer::line()
{
    QSignalSpy spy(&socket, &QTcpSocket::readyRead);
    while (!socket.canReadLine() && spy.wait(RelayFixture::Wait)) { }
    const QByteArray text = socket.readLine();
    return text.endsWith('\n') ? text.chopped(1) : text;
}

QByteArray RelayPeer::logIn(quint16 port, const QByteArray &name)
{
    if (!open(port))
        return {};
    node = name;
    send(node + ' ' + RelayFixture::keyOf(node, keyIndex));
    return line();
}
