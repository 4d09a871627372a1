#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private PulseAudio server of the test's own, with one null sink whose output nobody hears
// but whose name is not the dummy's, on a socket in a temporary folder. PULSE_SERVER points
// the test process (and the programs it starts) at it. A recorder on the sink's monitor asks
// for a low latency, as a real device has: alone, the null sink buffers 2 s, and a sound
// ends only that late. Killed when the fixture goes.
class PulseServer
{
public:
    static constexpr int Wait = 5000;

    PulseServer();
    ~PulseServer();

    // Why no server can be started here, or empty when one can.
    static QString unavailable();
    // Starts the server with a sink named `sink` (OutputProbe::DummySink for the dummy), on the
    // same socket as before; true once it accepts connections.
    bool start(const QString &sink = QStringLiteral("velmar_test"));
    // Kills it without letting it clean up, as a crash would.
    void kill();

    QTemporaryDir dir;
    QProcess process;
    QProcess recorder;
};
