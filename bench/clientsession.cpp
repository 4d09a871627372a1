#include "clientsession.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

#include "app/config.h"
#include "body/body.h"
#include "operator/commandrunner.h"

namespace {

constexpr int SoundRowCount = 20;
constexpr int TickMs = 5;
constexpr int GiveUpMs = 600000;

} // namespace

const QString ClientSession::ClientNode = QStringLiteral("Bench");

ClientSession::ClientSession(const QByteArray &extraConfig)
    : extra(extraConfig)
    , server(ClientNode)
{
}

ClientSession::~ClientSession() = default;

QString ClientSession::writeConfig(const QString &dir, quint16 port, const QByteArray &extraConfig)
{
    const QString keyPath = dir + QStringLiteral("/Bench.key");
    QFile key(keyPath);
    if (key.open(QIODevice::WriteOnly | QIODevice::Text))
        key.write("key0\nkey1\n");

    const QString configPath = dir + QStringLiteral("/bench.cfg");
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return QString();
    QTextStream out(&file);
    out << "STARS_IP 127.0.0.1\n"
        << "STARS_PORT " << port << '\n'
        << "NAME_ON_STARS " << ClientNode << '\n'
        << "KEY_ON_STARS \"" << keyPath << "\"\n"
        << "CONNECT_TO_STARS 1\n"
        << "FLGON Dev\n";
    for (int i = 0; i < SoundRowCount; ++i)
        out << "EVENT Fault" << i << " x.wav 50 Dev\n";
    out << extraConfig;
    return configPath;
}

bool ClientSession::open(QString &error)
{
    const quint16 port = server.startListening();
    if (port == 0) {
        error = QStringLiteral("server cannot listen");
        return false;
    }
    config = Config();
    config.loadFile(writeConfig(dir.path(), port, extra));

    QEventLoop loop;
    bool subscribed = false;
    QObject::connect(&server, &FloodServer::subscribed, &loop, [&] {
        subscribed = true;
        loop.quit();
    });
    QObject::connect(&server, &FloodServer::failed, &loop, [&](const QString &reason) {
        error = reason;
        loop.quit();
    });
    QTimer::singleShot(GiveUpMs, &loop, &QEventLoop::quit);
    body = std::make_unique<Body>();
    if (!subscribed)
        loop.exec();
    return subscribed;
}

qint64 ClientSession::burst(int events, int asks, double &longestGapMs, QString &error)
{
    return waitFor([&] { server.startBurst(events, asks); }, [] {}, longestGapMs, error);
}

ClientSession::Storm ClientSession::storm(int events, int perSecond, int askEvery, QString &error)
{
    Storm storm;
    auto *runner = body->findChild<CommandRunner *>();
    if (!runner) {
        error = QStringLiteral("no program configured");
        return storm;
    }
    const auto counting = QObject::connect(runner, &CommandRunner::log, runner, [&storm](const QString &line) {
        storm.droppedLines += line.startsWith(QLatin1String("Dropped "));
    });
    const auto countRunning = [&storm, runner] {
        const QList<QProcess *> processes = runner->findChildren<QProcess *>(QString(), Qt::FindDirectChildrenOnly);
        const int running = int(std::count_if(processes.cbegin(), processes.cend(), [](const QProcess *p) {
            return p->state() != QProcess::NotRunning;
        }));
        storm.mostRunning = qMax(storm.mostRunning, running);
    };
    double gapMs = 0;
    if (waitFor([&] { server.startStorm(events, perSecond, askEvery); }, countRunning, gapMs, error) >= 0) {
        storm.longestAnswerMs = server.longestAnswerNs() / 1e6;
        storm.longestGapMs = gapMs;
    }
    // The programs still running end, and the queue empties, before the next storm.
    QElapsedTimer settling;
    settling.start();
    while (!runner->findChildren<QProcess *>(QString(), Qt::FindDirectChildrenOnly).isEmpty() && settling.elapsed() < GiveUpMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, TickMs);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QObject::disconnect(counting);
    return storm;
}

qint64 ClientSession::waitFor(const std::function<void()> &start, const std::function<void()> &onTick,
                              double &longestGapMs, QString &error)
{
    QEventLoop loop;
    qint64 elapsedNs = -1;
    const auto doneConnection = QObject::connect(&server, &FloodServer::burstDone, &loop,
                                                 [&](qint64 ns) {
                                                     elapsedNs = ns;
                                                     loop.quit();
                                                 });
    const auto failConnection = QObject::connect(&server, &FloodServer::failed, &loop,
                                                 [&](const QString &reason) {
                                                     error = reason;
                                                     loop.quit();
                                                 });
    QTimer::singleShot(GiveUpMs, &loop, &QEventLoop::quit);

    longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        longestGapMs = qMax(longestGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
        onTick();
    });
    sinceTick.start();
    tick.start(TickMs);
    start();
    loop.exec();
    QObject::disconnect(doneConnection);
    QObject::disconnect(failConnection);
    if (elapsedNs < 0 && error.isEmpty())
        error = QStringLiteral("burst timed out");
    return elapsedNs;
}

void ClientSession::sendForEachEvent(const QByteArray &lines)
{
    server.sendForEachEvent(lines);
}

void ClientSession::showLog()
{
    body->findChild<QCheckBox *>(QStringLiteral("ShowLog"))->setChecked(true);
}
