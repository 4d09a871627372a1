#include "scriptedserver.h"

ScriptedServer::ScriptedServer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &ScriptedServer::acceptNext);
    server.listen(QHostAddress::LocalHost, 0);
}

// The listening server owns the socket and deletes it; it must not report back to us then.
ScriptedServer::~ScriptedServer()
{
    if (client)
        client->disconnect(this);
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
    // abort() reports the end only of a connection that was still open.
    clientDisconnected();
}

void ScriptedServer::closeClient()
{
    if (client)
        client->disconnectFromHost();
}

void ScriptedServer::acceptNext()
{
    if (client || !server.hasPendingConnections())
        return;
    client = server.nextPendingConnection();
    server.pauseAccepting();
    ++accepted;
    bytes.clear();
    connect(client, &QTcpSocket::readyRead, this, &ScriptedServer::readClient);
    connect(client, &QTcpSocket::disconnected, this, &ScriptedServer::clientDisconnected);
    // The client may have written before we took the connection.
    readClient();
}

void ScriptedServer::readClient()
{
    if (client && client->isReadable())
        bytes += client->readAll();
}

void ScriptedServer::clientDisconnected()
{
    if (!client)
        return;
    // What arrived just before the end still belongs to this client.
    readClient();
    client->disconnect(this);
    client->deleteLater();
    client = nullptr;
    server.resumeAccepting();
    acceptNext();
}
