#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QDBusConnection;

// One Velmar per node name and server in a desktop session. The first one holds a lock named
// after them: a name on the session bus, or else a local socket in the user's runtime folder. A
// second one asks the first to raise its window (over the bus with Raise(), or by connecting to
// the socket) instead of fighting it for the node name. A lock whose Velmar has gone is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SingleInstance)

public:
    static constexpr int AnswerWaitMs = 5000;

    SingleInstance(const QString &node, const QString &host, const QString &port, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock (over the session bus when `overBus` and a bus is there), or asks the
    // Velmar that holds it to raise its window and returns false.
    bool claim(bool overBus);
    // "Velmar is already running for NODE at HOST:PORT"
    QString runningText() const;

signals:
    // A second Velmar asked over the local socket.
    void raiseRequested();

private:
    bool claimBusName(QDBusConnection &bus);
    bool claimSocket();
    bool listen(const QString &path);
    void secondArrived();

    const QString node;
    const QString address;
    // The lock's name: the node and the server, hashed into letters and digits.
    const QString lockName;
    QString busName;
    QLocalServer server;
};
