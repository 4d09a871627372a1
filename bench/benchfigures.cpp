#include "benchfigures.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include "app/config.h"
#include "clientsession.h"
#include "floodserver.h"
#include "stars/amsg.h"

namespace {

constexpr int GiveUpMs = 60000;

const char *const MessageTemplates[] = {
    "Dev>Bench _Tick %1",
    "Dev.sensor%1>Bench _Alarm \"high temperature\" %1 degC",
    "Dev>Bench Hello",
    "Term1.user>Bench.gui SetValue %1.5 \"some text with blanks\"",
    "Bench>Dev @GetValue %1",
    "System>Bench @flgon Ok:",
    "Dev>Bench.ch2 @Help Commands : Hello Help IsBusy",
    "Motor%1>Bench _ChangedIsBusy 0",
    "Dev>Bench   GetPosition   axis%1  ",
    "Dev.ctl>Bench @IsBusy 1",
};

const char *const ConfigTemplates[] = {
    "# comment line %1 with \"quotes\" and # marks",
    "EVENT \"Fault%1 Alarm\" \"sounds/alarm %1.wav\" 50 Dev   # the alarm row",
    "FLGON Node%1",
    "OPTION_%1 \"a value with blanks\" rest of line # trailing comment",
    "",
    "stars_ip 127.0.0.%1",
    "   \t  # indented comment",
    "KEY_ON_STARS 'keys/node %1.key' # apostrophes",
};

// A template line with its counter filled in, if it has a place for one.
QString filled(const char *pattern, int counter)
{
    const QString line = QString::fromLatin1(pattern);
    return line.contains(QLatin1String("%1")) ? line.arg(counter) : line;
}

} // namespace

QStringList messageMix(int lines)
{
    const int templates = int(std::size(MessageTemplates));
    QStringList mix;
    mix.reserve(lines);
    for (int i = 0; i < lines; ++i)
        mix.append(filled(MessageTemplates[i % templates], i));
    return mix;
}

double parseLinesPerSecond(const QStringList &lines)
{
    QElapsedTimer timer;
    timer.start();
    int valid = 0;
    for (const QString &line : lines) {
        AMsg msg;
        valid += msg.parse(line) ? 1 : 0;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    return valid > 0 ? lines.size() / seconds : 0;
}

bool writeLargeConfig(const QString &path, int lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    const int templates = int(std::size(ConfigTemplates));
    for (int i = 0; i < lines; ++i)
        out << filled(ConfigTemplates[i % templates], i) << '\n';
    return true;
}

double configLoadMs(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    Config loaded;
    loaded.loadFile(path);
    return timer.nsecsElapsed() / 1e6;
}

double startUpMs(const QString &velmarPath, QString &error, const QByteArray &extraConfig)
{
    QTemporaryDir dir;
    FloodServer server(ClientSession::ClientNode);
    const quint16 port = server.startListening();
    const QString configPath = ClientSession::writeConfig(dir.path(), port, extraConfig);

    QEventLoop loop;
    qint64 subscribedNs = -1;
    QObject::connect(&server, &FloodServer::subscribed, &loop, [&](qint64 atNs) {
        subscribedNs = atNs;
        loop.quit();
    });
    QObject::connect(&server, &FloodServer::failed, &loop, [&](const QString &reason) {
        error = reason;
        loop.quit();
    });
    QTimer::singleShot(GiveUpMs, &loop, &QEventLoop::quit);

    QProcess velmar;
    velmar.setWorkingDirectory(dir.path());
    velmar.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    velmar.setProcessEnvironment(environment);
    const qint64 startNs = steadyNowNs();
    velmar.start(velmarPath, { QStringLiteral("-c"), configPath });
    loop.exec();
    velmar.kill();
    velmar.waitForFinished(GiveUpMs);
    if (subscribedNs < 0) {
        if (error.isEmpty())
            error = QStringLiteral("velmar did not subscribe");
        return -1;
    }
    return (subscribedNs - startNs) / 1e6;
}

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
