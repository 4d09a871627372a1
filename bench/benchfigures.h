#pragma once

#include <QString>
#include <QStringList>

// Lines of received messages in a realistic mix: events, asks, replies, channels and quoted items.
QStringList messageMix(int lines);
// Lines per second that AMsg::parse takes from `lines`.
double parseLinesPerSecond(const QStringList &lines);

// Milliseconds that Config::loadFile takes for the file at `path`.
double configLoadMs(const QString &path);
// Writes a configuration file of `lines` lines with comments and quotes to `path`.
bool writeLargeConfig(const QString &path, int lines);

// Milliseconds from starting the `velmar` process to its subscription reaching the server;
// `extraConfig` goes at the end of its configuration.
double startUpMs(const QString &velmarPath, QString &error, const QByteArray &extraConfig = {});

// The process's peak resident memory (VmHWM) in KiB.
qint64 peakResidentKiB();
