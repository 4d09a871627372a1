#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "floodserver.h"

class Body;

// A headless main window logged in to a FloodServer, with the configuration the
// benchmarks share: 20 sound rows whose events never arrive and one subscription.
class ClientSession
{
public:
    static const QString ClientNode;

    // What one storm of events showed.
    struct Storm {
        double longestAnswerMs = -1;
        int mostRunning = 0;   // programs running at once, seen on a 5 ms tick
        int droppedLines = 0;  // red lines about dropped runs
        double longestGapMs = -1;  // that a 5 ms timer on this thread saw
    };

    // `extraConfig` goes at the end of the configuration.
    explicit ClientSession(const QByteArray &extraConfig = {});
    ~ClientSession();

    // Writes the key file and a configuration for a server on `port`; returns its path.
    static QString writeConfig(const QString &dir, quint16 port, const QByteArray &extraConfig = {});

    bool open(QString &error);
    // Runs one burst of the server; returns its nanoseconds (negative on failure) and
    // the longest gap, in milliseconds, that a 5 ms timer on this thread saw meanwhile.
    qint64 burst(int events, int asks, double &longestGapMs, QString &error);
    // `events` events at `perSecond` with an ask after every `askEvery` of them.
    Storm storm(int events, int perSecond, int askEvery, QString &error);
    // What the server sends for each event of the bursts and storms from now on; empty for
    // a numbered Tick event from Dev.
    void sendForEachEvent(const QByteArray &lines);
    // Ticks the main window's "Log" box, as an operator would, to show the log window.
    void showLog();

private:
    // Starts the server's work and waits until it is done, ticking `onTick` every 5 ms.
    qint64 waitFor(const std::function<void()> &start, const std::function<void()> &onTick,
                   double &longestGapMs, QString &error);

    const QByteArray extra;
    QTemporaryDir dir;
    FloodServer server;
    std::unique_ptr<Body> body;
};
