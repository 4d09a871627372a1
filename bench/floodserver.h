#pragma once

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>

class QTcpSocket;

// A scripted Stars server on a thread of its own: logs one client in, waits for its
// subscription, then writes bursts of event lines and asks as fast as the client takes
// them and reports when every ask of the burst has been answered. Blocking sockets keep
// it off the event loop of the client being measured.
class FloodServer : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(FloodServer)

public:
    explicit FloodServer(const QString &clientNode, QObject *parent = nullptr);
    ~FloodServer() override;

    // Starts the thread and returns the listening port (0 when listening failed).
    quint16 startListening();
    // Queues one burst: `events` event lines, then `asks` "Hello" asks.
    void startBurst(int events, int asks);

signals:
    // The client's subscription line arrived; `atNs` is on the steady clock.
    void subscribed(qint64 atNs);
    // Every ask of the burst has been answered, `elapsedNs` after its first byte went out.
    void burstDone(qint64 elapsedNs);
    void failed(const QString &reason);

protected:
    void run() override;

private:
    struct Burst {
        int events;
        int asks;
    };

    bool logIn(QTcpSocket &socket);
    bool readLine(QTcpSocket &socket, QByteArray &line);
    bool runBurst(QTcpSocket &socket, const Burst &burst);
    int takeAnswers(QTcpSocket &socket);

    const QByteArray node;
    quint16 port = 0;
    QSemaphore listening;
    QSemaphore queued;
    QMutex mutex;
    QQueue<Burst> bursts;
    std::atomic<bool> stopping{false};
};

qint64 steadyNowNs();
