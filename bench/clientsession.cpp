#include "clientsession.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include "app/config.h"
#include "body/body.h"

namespace {

constexpr int SoundRows = 20;
constexpr int TickMs = 5;
constexpr int GiveUpMs = 600000;

} // namespace

const QString ClientSession::ClientNode = QStringLiteral("Bench");

ClientSession::ClientSession()
    : server(ClientNode)
{
}

ClientSession::~ClientSession() = default;

QString ClientSession::writeConfig(const QString &dir, quint16 port)
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
    for (int i = 0; i < SoundRows; ++i)
        out << "EVENT Fault" << i << " x.wav 50 Dev\n";
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
    config.loadFile(writeConfig(dir.path(), port));

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
    });
    sinceTick.start();
    tick.start(TickMs);
    server.startBurst(events, asks);
    loop.exec();
    QObject::disconnect(doneConnection);
    QObject::disconnect(failConnection);
    if (elapsedNs < 0 && error.isEmpty())
        error = QStringLiteral("burst timed out");
    return elapsedNs;
}

void ClientSession::showLog()
{
    body->findChild<QCheckBox *>(QStringLiteral("ShowLog"))->setChecked(true);
}
