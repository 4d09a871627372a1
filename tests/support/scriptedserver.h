#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A TCP server on 127.0.0.1 (a free port chosen by the system) that plays the other end of
// a line protocol in tests. It serves one client at a time: a second connection waits in the
// backlog until the first has gone. Every byte the current client writes is recorded; what
// the server sends is up to the test. The wait functions run the event loop until their
// condition holds or the time is up, and say which.
class ScriptedServer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ScriptedServer)

public:
    static constexpr int DefaultWait = 5000;

    explicit ScriptedServer(QObject *parent = nullptr);
    ~ScriptedServer() override;

    bool isListening() const;
    quint16 port() const;

    bool hasClient() const;
    // True once a client is connected (also when it already was).
    bool waitForClient(int ms = DefaultWait);
    // True once no client is connected any more.
    bool waitForClientGone(int ms = DefaultWait);
    // How many clients have been accepted so far.
    int clientCount() const;

    // Writes the bytes to the current client unchanged and pushes them out at once.
    void send(const QByteArray &bytes);
    // Ends the current client's connection: abruptly (reset) or after the written bytes.
    void dropClient();
    void closeClient();

    // Everything the current client has written since it connected (or the last client,
    // once it has gone); cleared when a new client is accepted or by clearReceived().
    QByteArray received() const;
    // The complete lines within received(), each without its line feed.
    QList<QByteArray> lines() const;
    bool waitForLines(int count, int ms = DefaultWait);
    bool waitForBytes(int count, int ms = DefaultWait);
    void clearReceived();

    // Stops taking bytes off the current client's connection, so that its data piles up
    // in the system's buffers and the client's writes stall; resumeReading() takes them again.
    void stopReading();
    void resumeReading();

signals:
    void clientConnected();
    void clientGone();
    void bytesReceived();

private:
    void acceptNext();
    void readClient();
    void clientDisconnected();

    QTcpServer server;
    QTcpSocket *client = nullptr;
    QByteArray bytes;
    int accepted = 0;
    bool reading = true;
};
