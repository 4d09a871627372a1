#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

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

    quint16 port() const { return server.serverPort(); }
    bool hasClient() const { return client != nullptr; }
    // How many clients have been accepted so far.
    int clientCount() const { return accepted; }
    bool waitForClient(int ms = DefaultWait) { return QTest::qWaitFor([this] { return hasClient(); }, ms); }

    // Writes the bytes to the current client unchanged and pushes them out at once.
    void send(const QByteArray &bytes);
    // Ends the current client's connection: abruptly (reset) or after the written bytes.
    void dropClient();
    void closeClient();

    // Everything the current (or last) client has written since it connected or since
    // clearReceived(), and the complete lines within it, each without its line feed.
    QByteArray received() const { return bytes; }
    // split() gives one piece more than there are line feeds: the unfinished rest.
    QByteArrayList lines() const { return bytes.split('\n').mid(0, bytes.count('\n')); }
    bool waitForLines(int count, int ms = DefaultWait) { return QTest::qWaitFor([=] { return bytes.count('\n') >= count; }, ms); }
    void clearReceived() { bytes.clear(); }

private:
    void acceptNext();
    void readClient();
    void clientDisconnected();

    QTcpServer server;
    QTcpSocket *client = nullptr;
    QByteArray bytes;
    int accepted = 0;
};
