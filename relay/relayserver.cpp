#include "relayserver.h"

#include "messageline.h"
#include "relayconnection.h"
#include "relaylog.h"
#include "stars/keepalive.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

const QLatin1String SystemNode("System");
const QLatin1String SubscribeWord("flgon");
const QLatin1String UnsubscribeWord("flgoff");

QByteArray keyOf(QLatin1String node)
{
    return QByteArray::fromRawData(node.data(), node.size());
}

} // namespace

RelayServer::RelayServer(const QString &keyDirectory, QObject *parent)
    : QObject(parent)
    , m_listener(new QTcpServer(this))
    , m_keys(keyDirectory)
{
    connect(m_listener, &QTcpServer::newConnection, this, &RelayServer::acceptConnections);
}

bool RelayServer::listen(const QHostAddress &address, quint16 port)
{
    return m_listener->listen(address, port);
}

void RelayServer::setDeadPeerTimeout(int ms)
{
    m_deadPeerTimeoutMs = ms;
}

QString RelayServer::errorString() const
{
    return m_listener->errorString();
}

QHostAddress RelayServer::serverAddress() const
{
    return m_listener->serverAddress();
}

quint16 RelayServer::serverPort() const
{
    return m_listener->serverPort();
}

void RelayServer::acceptConnections()
{
    while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
        if (m_deadPeerTimeoutMs > 0 && !enableKeepAlive(socket, m_deadPeerTimeoutMs))
            qCInfo(lcRelay) << "cannot time the keep-alive probes";
        new RelayConnection(socket, this);
    }
}

QLatin1String RelayServer::refusalFor(QLatin1String node, qint64 keyIndex, const QString &key) const
{
    if (!KeyStore::isSafeNodeName(node))
        return QLatin1String("bad node name");
    if (node == SystemNode)
        return QLatin1String("reserved node name");
    switch (m_keys.check(node, keyIndex, key)) {
    case KeyStore::Verdict::UnknownNode:
        return QLatin1String("unknown node");
    case KeyStore::Verdict::NoKeys:
        return QLatin1String("no keys for node");
    case KeyStore::Verdict::WrongKey:
        return QLatin1String("wrong key");
    case KeyStore::Verdict::Accepted:
        break;
    }
    if (m_nodes.contains(keyOf(node)))
        return QLatin1String("node already connected");
    return {};
}

void RelayServer::enter(RelayConnection *connection)
{
    m_nodes.insert(connection->node(), connection);
}

void RelayServer::remove(RelayConnection *connection)
{
    const auto node = m_nodes.find(connection->node());
    if (node != m_nodes.end() && node.value() == connection)
        m_nodes.erase(node);
    const QVector<QByteArray> publishers = m_subscriptions.take(connection);
    for (const QByteArray &publisher : publishers) {
        const auto subscribers = m_subscribers.find(publisher);
        subscribers->removeOne(connection);
        if (subscribers->isEmpty())
            m_subscribers.erase(subscribers);
    }
}

void RelayServer::route(RelayConnection *sender, QLatin1String line)
{
    const QLatin1String node(sender->node());
    const MessageLine message = MessageLine::parse(line);
    switch (message.fault) {
    case MessageLine::Fault::Blank:
        return;
    case MessageLine::Fault::NoRoute:
        answer(sender, node, {}, QLatin1String("Er: no '>' in the route"));
        return;
    case MessageLine::Fault::NoCommand:
        answer(sender, node, {}, QLatin1String("Er: no command"));
        return;
    case MessageLine::Fault::None:
        break;
    }
    if (message.fromNode != node) {
        refuseMessage(sender, node, message.word, "sender is not " + sender->node());
        return;
    }
    if (message.toNode == SystemNode) {
        routeToSystem(sender, message);
        return;
    }
    if (RelayConnection *target = loggedIn(message.toNode)) {
        target->send({ line });
        return;
    }
    // Only asks are answered, so that two nodes can never answer each other without end.
    if (message.kind == MessageLine::Kind::Ask)
        refuseMessage(sender, message.from, message.word, "node " + keyOf(message.toNode) + " is not connected");
}

void RelayServer::routeToSystem(RelayConnection *sender, const MessageLine &message)
{
    switch (message.kind) {
    case MessageLine::Kind::Event:
        publish(sender, message);
        return;
    case MessageLine::Kind::Answer:
        return;
    case MessageLine::Kind::Ask:
        break;
    }
    if (message.word == SubscribeWord)
        subscribe(sender, message);
    else if (message.word == UnsubscribeWord)
        unsubscribe(sender, message);
    else
        refuseMessage(sender, message.from, message.word, "unknown command");
}

void RelayServer::subscribe(RelayConnection *subscriber, const MessageLine &message)
{
    if (!KeyStore::isSafeNodeName(message.argument)) {
        refuseMessage(subscriber, message.from, message.word, "bad node name");
        return;
    }
    const QByteArray publisher(message.argument.data(), message.argument.size());
    QVector<QByteArray> &publishers = m_subscriptions[subscriber];
    if (!publishers.contains(publisher)) {
        publishers.append(publisher);
        m_subscribers[publisher].append(subscriber);
    }
    answer(subscriber, message.from, message.word, QLatin1String("Ok:"));
}

void RelayServer::unsubscribe(RelayConnection *subscriber, const MessageLine &message)
{
    const QByteArray publisher = keyOf(message.argument);
    const auto publishers = m_subscriptions.find(subscriber);
    if (publishers != m_subscriptions.end() && publishers->removeOne(publisher)) {
        const auto subscribers = m_subscribers.find(publisher);
        subscribers->removeOne(subscriber);
        if (subscribers->isEmpty())
            m_subscribers.erase(subscribers);
    }
    answer(subscriber, message.from, message.word, QLatin1String("Ok:"));
}

void RelayServer::publish(RelayConnection *sender, const MessageLine &message)
{
    const auto subscribers = m_subscribers.constFind(sender->node());
    if (subscribers == m_subscribers.cend())
        return;
    for (RelayConnection *subscriber : *subscribers)
        subscriber->send({ message.from, QLatin1String(">"), QLatin1String(subscriber->node()), QLatin1String(" "), message.tail });
}

void RelayServer::answer(RelayConnection *to, QLatin1String addressee, QLatin1String word, QLatin1String text)
{
    to->send({ QLatin1String("System>"), addressee, QLatin1String(" @"), word, QLatin1String(" "), text });
}

void RelayServer::refuseMessage(RelayConnection *to, QLatin1String addressee, QLatin1String word, const QByteArray &reason)
{
    answer(to, addressee, word, QLatin1String("Er: " + reason));
}

RelayConnection *RelayServer::loggedIn(QLatin1String node) const
{
    RelayConnection *connection = m_nodes.value(keyOf(node));
    return connection && connection->isLoggedIn() ? connection : nullptr;
}
