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
    // Queues a storm: `events` event lines at `perSecond`, with a "Hello" ask after every
    // `askEvery` of them; each answer's delay counts for longestAnswerNs().
    void startStorm(int events, int perSecond, int askEvery);
    // The longest time an ask of the last storm waited for its answer.
    qint64 longestAnswerNs() const;
    // The bursts and storms queued from now on send `lines` (each ending in a line feed) for
    // each event instead of a numbered Tick event from Dev.
    void sendForEachEvent(const QByteArray &lines);

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
        int perSecond = 0;  // 0: as fast as the client takes them
        int askEvery = 0;
        QByteArray eventLines;  // empty: a numbered Tick event
    };

    bool logIn(QTcpSocket &socket);
    bool readLine(QTcpSocket &socket, QByteArray &line);
    bool runBurst(QTcpSocket &socket, const Burst &burst);
    int takeAnswers(QTcpSocket &socket);
    bool runStorm(QTcpSocket &socket, const Burst &storm);
    bool send(QTcpSocket &socket, const QByteArray &bytes);
    void timeAnswers(QTcpSocket &socket, QQueue<qint64> &sentNs);
    QByteArray eventLines(const Burst &burst, int i) const;

    const QByteArray node;
    quint16 port = 0;
    QSemaphore listening;
    QSemaphore queued;
    QMutex mutex;
    QQueue<Burst> bursts;
    QByteArray eventLinesToQueue;
    std::atomic<bool> stopping{false};
    std::atomic<qint64> longestAnswer{0};
};

qint64 steadyNowNs();
