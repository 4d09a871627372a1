#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include "scriptedserver.h"
#include "stars/stars.h"

// A logged-in client against a scripted server: a Stars client named "Zendri" with the key
// file `keyPath()` in a temporary folder, pointed at a ScriptedServer on 127.0.0.1. It records
// the client's log lines and every message the client hands on.
class ClientFixture : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ClientFixture)

public:
    static constexpr int Wait = ScriptedServer::DefaultWait;

    explicit ClientFixture(const QByteArray &keys = "k0\nk1\nk2\n");

    QString keyPath() const { return dir.filePath(QStringLiteral("Zendri.key")); }
    // Connects (unless the server already has a client), sends the key index line, waits for
    // the key line and accepts the log-in; true once the client is Connected. What the server
    // received is cleared, so it then holds only what the client writes after the log-in.
    bool logIn(const QByteArray &keyIndexLine = "0\n");
    // The lines the logged-in client has written since the log-in: it writes one more of its
    // own and waits for it, so everything written before has arrived. Its own line is left out.
    QByteArrayList written();

    QTemporaryDir dir;
    ScriptedServer server;
    Stars stars;
    // The log lines, each followed by " (R,G,B)" when it is not black.
    QStringList log;
    // One entry per message handed on: "ask CMD ID P1,P2", "ans CMD ID ..." or "event CMD ID ...".
    QStringList messages;
};
