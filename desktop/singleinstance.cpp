#include "desktop/singleinstance.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include "desktop/deskcontrol.h"
#include "desktop/desktoplog.h"

namespace {

// Host names are the same in any case; the node name and the port are taken as written.
QString lockNameFor(const QString &node, const QString &host, const QString &port)
{
    const QString identity = node + QLatin1Char('\n') + host.toLower() + QLatin1Char('\n') + port;
    return QStringLiteral("velmar_") + QString::fromLatin1(QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha1).toHex().left(20));
}

} // namespace

SingleInstance::SingleInstance(const QString &node, const QString &host, const QString &port, QObject *parent)
    : QObject(parent)
    , node(node)
    , address(host + QLatin1Char(':') + port)
    , lockName(lockNameFor(node, host, port))
{
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::secondArrived);
}

// The bus gives the name back only when the connection ends, which may outlive this object.
SingleInstance::~SingleInstance()
{
    if (!busName.isEmpty())
        QDBusConnection::sessionBus().unregisterService(busName);
}

bool SingleInstance::claim(bool overBus)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (overBus && bus.isConnected())
        return claimBusName(bus);
    if (overBus)
        qCDebug(lcDesktop).noquote() << "no session bus:" << bus.lastError().message() << "- the lock is a local socket";
    return claimSocket();
}

QString SingleInstance::runningText() const
{
    return QStringLiteral("Velmar is already running for %1 at %2").arg(node, address);
}

// The bus releases a name when its owner's connection ends, so a name never outlives its Velmar.
bool SingleInstance::claimBusName(QDBusConnection &bus)
{
    const QString name = DeskControl::Name + QStringLiteral(".Instance.") + lockName;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        qCDebug(lcDesktop).noquote() << "cannot take" << name << ":" << reply.error().message() << "- running without the lock";
        return true;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceNotRegistered) {
        busName = name;
        qCDebug(lcDesktop).noquote() << "the one Velmar for" << node << "at" << address << "holds" << name;
        return true;
    }
    const QDBusMessage raise = QDBusMessage::createMethodCall(name, DeskControl::ObjectPath, DeskControl::Name, QStringLiteral("Raise"));
    const QDBusMessage answer = bus.call(raise, QDBus::Block, AnswerWaitMs);
    if (answer.type() == QDBusMessage::ErrorMessage)
        qCDebug(lcDesktop).noquote() << "the Velmar that holds" << name << "did not raise its window:" << answer.errorMessage();
    return false;
}

// A socket that nobody listens on is left by a Velmar that ended without removing it.
bool SingleInstance::claimSocket()
{
    const QString path = QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(lockName);
    if (listen(path))
        return true;
    QLocalSocket first;
    first.connectToServer(path);
    if (first.waitForConnected(AnswerWaitMs))
        return false;
    qCDebug(lcDesktop).noquote() << "taking over the lock of a Velmar that has gone:" << path;
    QLocalServer::removeServer(path);
    if (!listen(path))
        qCDebug(lcDesktop).noquote() << "cannot listen on" << path << ":" << server.errorString() << "- running without the lock";
    return true;
}

bool SingleInstance::listen(const QString &path)
{
    if (!server.listen(path))
        return false;
    qCDebug(lcDesktop).noquote() << "the one Velmar for" << node << "at" << address << "listens on" << path;
    return true;
}

void SingleInstance::secondArrived()
{
    while (QLocalSocket *second = server.nextPendingConnection())
        second->deleteLater();
    qCDebug(lcDesktop).noquote() << "a second Velmar for" << node << "at" << address << "asked to raise the window";
    emit raiseRequested();
}
