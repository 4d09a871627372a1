#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

#include "floodserver.h"

class Body;

// A headless main window logged in to a FloodServer, with the configuration the
// benchmarks share: 20 sound rows whose events never arrive and one subscription.
class ClientSession
{
public:
    static const QString ClientNode;

    ClientSession();
    ~ClientSession();

    // Writes the key file and a configuration for a server on `port`; returns its path.
    static QString writeConfig(const QString &dir, quint16 port);

    bool open(QString &error);
    // Runs one burst of the server; returns its nanoseconds (negative on failure) and
    // the longest gap, in milliseconds, that a 5 ms timer on this thread saw meanwhile.
    qint64 burst(int events, int asks, double &longestGapMs, QString &error);
    // Ticks the main window's "Log" box, as an operator would, to show the log window.
    void showLog();

private:
    QTemporaryDir dir;
    FloodServer server;
    std::unique_ptr<Body> body;
};
