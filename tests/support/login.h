#pragma once

#include <QByteArray>

#include "scriptedserver.h"

class Stars;

// Logs `stars` in against `server`: connects (unless a client is already there), sends the
// key index, waits for the key line and sends the acceptance for the node name in the panel.
// The key file named in the panel must be readable. Clears what the server had received,
// so received() then holds only what the client writes after the log-in.
bool logIn(ScriptedServer &server, Stars &stars, const QByteArray &keyIndexLine = "0\n",
           int ms = ScriptedServer::DefaultWait);

// Writes `bytes` to a new file at `path`; true when all of them were written.
bool writeFile(const QString &path, const QByteArray &bytes);

// Writes a 0.3 s 16-bit mono PCM tone as a WAV file at `path`; true on success.
bool writeWav(const QString &path);
