#pragma once

#include "keystore.h"

#include <QByteArray>
#include <QHash>
#include <QLatin1String>
#include <QObject>
#include <QVector>

class QHostAddress;
class QTcpServer;
class RelayConnection;
struct MessageLine;

// The relay: accepts connections, keeps the table of logged-in nodes and the event
// subscriptions, and routes every message line by the node names of its route.
class RelayServer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RelayServer)

public:
    explicit RelayServer(const QString &keyDirectory, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    // Connections whose peer stays silent to the system's probes are dropped after this long,
    // so that a node whose link died can log in again; 0 leaves them open.
    void setDeadPeerTimeout(int ms);
    QString errorString() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;

    // Why the key line "node key" cannot log in for this key index; empty when it can.
    QLatin1String refusalFor(QLatin1String node, qint64 keyIndex, const QString &key) const;
    void enter(RelayConnection *connection);
    void remove(RelayConnection *connection);
    void route(RelayConnection *sender, QLatin1String line);

private:
    void acceptConnections();
    void routeToSystem(RelayConnection *sender, const MessageLine &message);
    void subscribe(RelayConnection *subscriber, const MessageLine &message);
    void unsubscribe(RelayConnection *subscriber, const MessageLine &message);
    void publish(RelayConnection *sender, const MessageLine &message);
    void answer(RelayConnection *to, QLatin1String addressee, QLatin1String word, QLatin1String text);
    void refuseMessage(RelayConnection *to, QLatin1String addressee, QLatin1String word, const QByteArray &reason);
    RelayConnection *loggedIn(QLatin1String node) const;

    QTcpServer *const m_listener;
    const KeyStore m_keys;
    int m_deadPeerTimeoutMs = 0;
    QHash<QByteArray, RelayConnection *> m_nodes;
    // Subscribers by the node whose events they want; kept for nodes not connected yet.
    QHash<QByteArray, QVector<RelayConnection *>> m_subscribers;
    QHash<RelayConnection *, QVector<QByteArray>> m_subscriptions;
};
