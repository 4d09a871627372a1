#include "relayserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QStringList>

#include <climits>
#include <cstdio>

#include "app/quitonsignal.h"
#include "app/timeunits.h"
#include "commandline.h"

namespace {

constexpr quint16 DefaultPort = 6057;
constexpr int DefaultKeepAliveSeconds = 30;
constexpr int UsageError = 2;
constexpr int ListenError = 1;

QHostAddress addressOf(const QString &host)
{
    const QHostAddress literal(host);
    if (!literal.isNull())
        return literal;
    const QList<QHostAddress> addresses = QHostInfo::fromName(host).addresses();
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stars-relay"));
    if (qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{message}"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "A local Stars relay: logs nodes in by key and routes their message lines."));
    parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"),
            QStringLiteral("Address to listen on."), QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
            QStringLiteral("Port to listen on; 0 picks a free one."), QStringLiteral("port"),
            QString::number(DefaultPort));
    const QCommandLineOption keysOption(QStringLiteral("keys"),
            QStringLiteral("Directory of the key files <node>.key."), QStringLiteral("dir"),
            QStringLiteral("keys"));
    const QCommandLineOption keepAliveOption(QStringLiteral("keepalive"),
            QStringLiteral("Seconds after which a peer that answers no keep-alive probe is dropped; 0: never."),
            QStringLiteral("seconds"), QString::number(DefaultKeepAliveSeconds));
    parser.addOptions({ hostOption, portOption, keysOption, keepAliveOption });
    parser.process(commandLineArguments(argc, argv));
    if (!parser.positionalArguments().isEmpty())
        return commandLineFailure(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()), UsageError);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 0xffff)
        return commandLineFailure(QStringLiteral("bad port %1").arg(parser.value(portOption)), UsageError);
    bool keepAliveOk = false;
    const int keepAlive = parser.value(keepAliveOption).toInt(&keepAliveOk);
    if (!keepAliveOk || keepAlive < 0 || keepAlive > INT_MAX / MsPerSecond)
        return commandLineFailure(QStringLiteral("bad keep-alive time %1").arg(parser.value(keepAliveOption)), UsageError);
    const QHostAddress address = addressOf(parser.value(hostOption));
    if (address.isNull())
        return commandLineFailure(QStringLiteral("cannot resolve host %1").arg(parser.value(hostOption)), UsageError);

    RelayServer server(parser.value(keysOption));
    server.setDeadPeerTimeout(keepAlive * MsPerSecond);
    if (!server.listen(address, quint16(port)))
        return commandLineFailure(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(address.toString()).arg(port).arg(server.errorString()), ListenError);
    // SIGTERM ends the relay as a return from its loop does, closing every connection.
    const QuitOnSignal quitOnSignal;
    std::printf("listening on %s:%u\n", qPrintable(server.serverAddress().toString()), unsigned(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
