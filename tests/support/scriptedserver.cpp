#include "scriptedserver.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

namespace {

// Small, so that a paused reader lets the client's data back up quickly.
constexpr qint64 PausedReadBuffer = 1;

} // namespace

ScriptedServer::ScriptedServer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &ScriptedServer::acceptNext);
    server.listen(QHostAddress::LocalHost, 0);
}

ScriptedServer::~ScriptedServer()
{
    if (client) {
        client->disconnect(this);
        client->abort();
        delete client;
    }
}

bool ScriptedServer::isListening() const
{
    return server.isListening();
}

quint16 ScriptedServer::port() const
{
    return server.serverPort();
}

bool ScriptedServer::hasClient() const
{
    return client != nullptr;
}

bool ScriptedServer::waitForClient(int ms)
{
    return QTest::qWaitFor([this] { return client != nullptr; }, ms);
}

bool ScriptedServer::waitForClientGone(int ms)
{
    return QTest::qWaitFor([this] { return client == nullptr; }, ms);
}

int ScriptedServer::clientCount() const
{
    return accepted;
}

void ScriptedServer::send(const QByteArray &data)
{
    if (!client)
        return;
    client->write(data);
    client->flush();
}

void ScriptedServer::dropClient()
{
    if (client)
        client->abort();
    // abort() emits disconnected() only for a connection that was still open.
    if (client)
        clientDisconnected();
}

void ScriptedServer::closeClient()
{
    if (client)
        client->disconnectFromHost();
}

QByteArray ScriptedServer::received() const
{
    return bytes;
}

QList<QByteArray> ScriptedServer::lines() const
{
    QList<QByteArray> result = bytes.split('\n');
    // The piece after the last line feed is not a complete line.
    result.removeLast();
    return result;
}

bool ScriptedServer::waitForLines(int count, int ms)
{
    return QTest::qWaitFor([this, count] { return bytes.count('\n') >= count; }, ms);
}

bool ScriptedServer::waitForBytes(int count, int ms)
{
    return QTest::qWaitFor([this, count] { return bytes.size() >= count; }, ms);
}

void ScriptedServer::clearReceived()
{
    bytes.clear();
}

void ScriptedServer::stopReading()
{
    reading = false;
    if (client)
        client->setReadBufferSize(PausedReadBuffer);
}

void ScriptedServer::resumeReading()
{
    reading = true;
    if (!client)
        return;
    client->setReadBufferSize(0);
    readClient();
}

void ScriptedServer::acceptNext()
{
    if (client || !server.hasPendingConnections())
        return;
    client = server.nextPendingConnection();
    server.pauseAccepting();
    ++accepted;
    bytes.clear();
    if (!reading)
        client->setReadBufferSize(PausedReadBuffer);
    connect(client, &QTcpSocket::readyRead, this, &ScriptedServer::readClient);
    connect(client, &QTcpSocket::disconnected, this, &ScriptedServer::clientDisconnected);
    emit clientConnected();
    // The client may have written before we took the connection.
    readClient();
}

void ScriptedServer::readClient()
{
    if (!client || !reading || client->bytesAvailable() == 0)
        return;
    bytes += client->readAll();
    emit bytesReceived();
}

void ScriptedServer::clientDisconnected()
{
    if (!client)
        return;
    QTcpSocket *gone = client;
    client = nullptr;
    // What arrived just before the end still belongs to this client.
    if (reading && gone->isReadable())
        bytes += gone->readAll();
    gone->disconnect(this);
    gone->deleteLater();
    emit clientGone();
    server.resumeAccepting();
    acceptNext();
}
