#include "linkfigures.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <functional>

#include "app/timeunits.h"
#include "stars/connectstat.h"
#include "stars/linksupervisor.h"
#include "stars/stars.h"

namespace {

const QString Namespace = QStringLiteral("velmar-bench");
const QString HostSide = QStringLiteral("vmbench0");
const QString RelaySide = QStringLiteral("vmbench1");
const QString HostIp = QStringLiteral("10.77.0.1");
const QString RelayIp = QStringLiteral("10.77.0.2");
const QString RelayPort = QStringLiteral("6057");
constexpr LinkTiming Timing {1000, 60000, 5000};
constexpr int KeepAliveSeconds = 5;
constexpr int WaitMs = 30000;

bool waitUntil(const std::function<bool()> &condition, int ms = WaitMs)
{
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

bool run(const QString &program, const QStringList &arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

bool inNamespace(const QStringList &command)
{
    return run(QStringLiteral("ip"), QStringList {QStringLiteral("netns"), QStringLiteral("exec"), Namespace} + command);
}

// A namespace joined to this one by a veth pair; removed with everything in it.
class RelayNamespace
{
public:
    ~RelayNamespace() { remove(); }

    bool create()
    {
        remove();
        return run(QStringLiteral("ip"), {"netns", "add", Namespace})
            && run(QStringLiteral("ip"), {"link", "add", HostSide, "type", "veth", "peer", "name", RelaySide})
            && run(QStringLiteral("ip"), {"link", "set", RelaySide, "netns", Namespace})
            && run(QStringLiteral("ip"), {"addr", "add", HostIp + "/24", "dev", HostSide})
            && run(QStringLiteral("ip"), {"link", "set", HostSide, "up"})
            && inNamespace({"ip", "addr", "add", RelayIp + "/24", "dev", RelaySide})
            && inNamespace({"ip", "link", "set", RelaySide, "up"});
    }

    static void remove()
    {
        if (QFile::exists(QStringLiteral("/run/netns/") + Namespace))
            run(QStringLiteral("ip"), {"netns", "del", Namespace});
    }

    // Cut, both sides drop every packet for the other without a word, as a firewall would.
    static bool setPath(bool up)
    {
        const QString change = up ? QStringLiteral("del") : QStringLiteral("add");
        return run(QStringLiteral("ip"), {"route", change, "blackhole", RelayIp + "/32"})
            && inNamespace({"ip", "route", change, "blackhole", HostIp + "/32"});
    }
};

class Relay
{
public:
    Relay(const QString &program, const QString &keys) : program(program), keys(keys) {}
    ~Relay() { stop(); }

    bool start()
    {
        process.start(QStringLiteral("ip"), {"netns", "exec", Namespace, program, "--host", RelayIp,
                                             "--port", RelayPort, "--keys", keys, "--keepalive",
                                             QString::number(KeepAliveSeconds)});
        return waitUntil([this] { return process.readAllStandardOutput().contains("listening on")
                                         || process.state() == QProcess::NotRunning; })
            && process.state() == QProcess::Running;
    }
    void stop()
    {
        process.terminate();
        process.waitForFinished();
    }

private:
    QString program;
    QString keys;
    QProcess process;
};

// The client end, supervised as the main window supervises it.
struct Client
{
    Client(const QString &keyFile, const QString &host, const QString &port)
        : supervisor(&stars, Timing)
    {
        stars.hostField()->setText(host);
        stars.portField()->setText(port);
        stars.nodeNameField()->setText(QStringLiteral("Zendri"));
        stars.keyFileField()->setText(keyFile);
        QObject::connect(&supervisor, &LinkSupervisor::log, &stars, [this](const QString &line) { lines << line; });
    }
    bool loggedIn() const { return stars.connectionState() == ConnectStat::Connected; }
    // Seconds from `clock`'s start until `condition` holds, or -1.
    double secondsUntil(const QElapsedTimer &clock, const std::function<bool()> &condition)
    {
        return waitUntil(condition) ? clock.elapsed() / double(MsPerSecond) : -1;
    }

    Stars stars;
    LinkSupervisor supervisor;
    QStringList lines;
};

bool hasLine(const QStringList &lines, const char *start)
{
    return std::any_of(lines.cbegin(), lines.cend(), [start](const QString &line) { return line.startsWith(QLatin1String(start)); });
}

void measureThroughRelay(const QString &relayPath, const QString &keyDir, LinkRun &result, QString &error)
{
    Relay relay(relayPath, keyDir);
    if (!relay.start()) {
        error = QStringLiteral("the relay did not start in the namespace");
        return;
    }
    Client client(keyDir + QStringLiteral("/Zendri.key"), RelayIp, RelayPort);
    client.stars.connectToStars();
    if (!waitUntil([&client] { return client.loggedIn(); })) {
        error = QStringLiteral("no log-in through the namespace");
        return;
    }

    QElapsedTimer clock;
    clock.start();
    RelayNamespace::setPath(false);
    result.deadLinkNoticed = client.secondsUntil(clock, [&client] { return !client.loggedIn(); });
    waitUntil([&client] { return hasLine(client.lines, "Trying"); });
    RelayNamespace::setPath(true);
    clock.start();
    result.loggedInAfterPath = client.secondsUntil(clock, [&client] { return client.loggedIn(); });

    relay.stop();
    if (!relay.start()) {
        error = QStringLiteral("the relay did not start again");
        return;
    }
    clock.start();
    result.loggedInAfterRestart = client.secondsUntil(clock, [&client] { return client.loggedIn(); });
}

double silentServerSeconds()
{
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost);
    Client client(QStringLiteral("none.key"), QStringLiteral("127.0.0.1"), QString::number(silent.serverPort()));
    client.stars.connectToStars();
    QElapsedTimer clock;
    clock.start();
    return client.secondsUntil(clock, [&client] { return hasLine(client.lines, "No log-in"); });
}

} // namespace

LinkRun measureLink(const QString &relayPath, QString &error)
{
    LinkRun result;
    result.silentServerDropped = silentServerSeconds();
    RelayNamespace space;
    if (!space.create()) {
        error = QStringLiteral("cannot set up a network namespace (needs root and ip)");
        return result;
    }
    QTemporaryDir keys;
    QFile key(keys.filePath(QStringLiteral("Zendri.key")));
    if (!key.open(QIODevice::WriteOnly) || key.write("k\n") != 2) {
        error = QStringLiteral("cannot write the key file");
        return result;
    }
    key.close();
    measureThroughRelay(relayPath, keys.path(), result, error);
    return result;
}
