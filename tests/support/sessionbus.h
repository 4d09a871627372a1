#pragma once

#include <QProcess>
#include <QTemporaryDir>

// A session bus of the suite's own (dbus-daemon, which starts no service by itself) that
// DBUS_SESSION_BUS_ADDRESS gives this process and the programs it starts. Start it before the
// suite first uses the session bus.
class SessionBus
{
public:
    static constexpr int Wait = 5000;

    ~SessionBus();

    bool start();

private:
    QTemporaryDir dir;
    QProcess daemon;
};
