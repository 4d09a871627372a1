#include "cliclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include "commandline.h"

namespace {

constexpr quint16 DefaultPort = 6057;
constexpr int DefaultWaitMs = 300;
constexpr int UsageError = 2;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stars-cli"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Logs in to a Stars relay as NODE with a key from KEYFILE, sends the --send lines "
            "(or every line of standard input) and prints every line received."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("NODE"), QStringLiteral("Node name to log in as."));
    parser.addPositionalArgument(QStringLiteral("KEYFILE"), QStringLiteral("Key file, one key per line."));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Relay host."),
            QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Relay port."),
            QStringLiteral("port"), QString::number(DefaultPort));
    const QCommandLineOption sendOption(QStringLiteral("send"),
            QStringLiteral("A line to send; repeatable. Standard input is not read then."),
            QStringLiteral("line"));
    const QCommandLineOption waitOption(QStringLiteral("wait"),
            QStringLiteral("Milliseconds to wait for replies after the last line."),
            QStringLiteral("ms"), QString::number(DefaultWaitMs));
    parser.addOptions({ hostOption, portOption, sendOption, waitOption });
    parser.process(commandLineArguments(argc, argv));

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return commandLineFailure(QStringLiteral("expected NODE and KEYFILE (see --help)"), UsageError);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 0xffff)
        return commandLineFailure(QStringLiteral("bad port %1").arg(parser.value(portOption)), UsageError);
    bool waitOk = false;
    const int waitMs = parser.value(waitOption).toInt(&waitOk);
    if (!waitOk || waitMs < 0)
        return commandLineFailure(QStringLiteral("bad wait %1").arg(parser.value(waitOption)), UsageError);

    CliClient::Options options;
    options.node = positional.at(0);
    options.keyFile = positional.at(1);
    options.host = parser.value(hostOption);
    options.port = quint16(port);
    options.lines = parser.values(sendOption);
    options.waitMs = waitMs;

    CliClient client(options);
    // Queued, so that a result known before the event loop runs still ends it.
    QObject::connect(&client, &CliClient::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    client.start();
    return app.exec();
}
