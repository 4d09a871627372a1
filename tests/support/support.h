#pragma once

#include <QByteArray>
#include <QStringList>

#include "scriptedserver.h"

class LogArea;

// The main window against a scripted server: the configuration lines that point it at
// `server` with the key file "Zendri.key" of the working directory; then the log-in accepted
// and `after` sent, returning the key line and the next `lines` lines the client wrote.
QByteArray serverConfig(const ScriptedServer &server);
QByteArray acceptLogIn(ScriptedServer &server, const QByteArray &after = {}, int lines = 0);
// The main window's log window, and its lines without their time stamps.
LogArea *logWindow();
QStringList logWindowLines();

// Replaces the global configuration with the entries of `text`, read through a file as the
// program reads its own; true when the file could be written.
bool loadConfig(const QByteArray &text);

// Writes `bytes` to a new file at `path`; true when all of them were written.
bool writeFile(const QString &path, const QByteArray &bytes);

// Puts the example sound, a 0.3 s WAV file, at `path`; true on success.
bool writeWav(const QString &path);
