#include "sessionbus.h"

#include "support.h"

SessionBus::~SessionBus()
{
    daemon.kill();
    daemon.waitForFinished(Wait);
}

// A bus that anyone of the session may use, with no folder of services to start.
bool SessionBus::start()
{
    const QString config = dir.filePath(QStringLiteral("bus.conf"));
    if (!writeFile(config, "<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(dir.path())
                               + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n"))
        return false;
    daemon.start(QStringLiteral("dbus-daemon"), {"--nofork", "--print-address", "--config-file=" + config});
    if (!daemon.waitForReadyRead(Wait))
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
    return true;
}
