#pragma once

#include <QByteArray>
#include <QStringList>

#include "scriptedserver.h"

class QProcess;
class Stars;

// Being replaced by ClientFixture::logIn. Logs `stars` in against `server`: connects (unless a client is already there), sends the
// key index, waits for the key line and sends the acceptance for the node name in the panel.
// The key file named in the panel must be readable. Clears what the server had received,
// so received() then holds only what the client writes after the log-in.
bool logIn(ScriptedServer &server, Stars &stars, const QByteArray &keyIndexLine = "0\n",
           int ms = ScriptedServer::DefaultWait);

// Replaces the global configuration with the entries of `text`, read through a file as the
// program reads its own; true when the file could be written.
bool loadConfig(const QByteArray &text);

// Writes `bytes` to a new file at `path`; true when all of them were written.
bool writeFile(const QString &path, const QByteArray &bytes);

// Writes a 0.3 s 16-bit mono PCM tone as a WAV file at `path`; true on success.
bool writeWav(const QString &path);

// Starts the velmar program in `workDir`, headless and with its debug lines on standard error;
// true once it runs.
bool startVelmar(QProcess &velmar, const QString &workDir, const QStringList &arguments = {});
