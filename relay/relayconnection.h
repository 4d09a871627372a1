#pragma once

#include "linereader.h"

#include <QByteArray>
#include <QLatin1String>
#include <QObject>
#include <QString>

#include <initializer_list>

class QTcpSocket;
class RelayServer;

// One node's connection to the relay: sends the key index, checks the key line through the
// server, then hands every message line to the server and writes the lines routed to it.
class RelayConnection : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RelayConnection)

public:
    static constexpr int MaxLineLength = 1 << 20;
    static constexpr qint64 MaxQueuedOutput = qint64(16) << 20;

    // Takes over the socket.
    RelayConnection(QTcpSocket *socket, RelayServer *server);

    // The logged-in node name; empty before the log-in.
    const QByteArray &node() const { return m_node; }
    bool isLoggedIn() const { return m_state == State::LoggedIn; }
    // Writes the parts and a line feed as one line. Bytes are read as Latin-1 and sent as
    // UTF-8, the encodings that the nodes write and read.
    void send(std::initializer_list<QLatin1String> parts);

private:
    enum class State { AwaitingKey, LoggedIn, Closing };

    void receive();
    void handleLine(QLatin1String line);
    void logIn(QLatin1String keyLine);
    void refuse(QLatin1String name, QLatin1String reason);
    void closeForLongLine();
    void drop(const QString &reason);
    void finish();
    QString describe() const;

    QTcpSocket *const m_socket;
    RelayServer *const m_server;
    LineReader m_reader { MaxLineLength };
    const QString m_peer;
    const qint64 m_keyIndex;
    QByteArray m_node;
    QByteArray m_output;
    State m_state = State::AwaitingKey;
    bool m_finished = false;
};
