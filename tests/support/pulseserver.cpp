#include "pulseserver.h"

#include <QLocalSocket>
#include <QStandardPaths>
#include <QtTest>

PulseServer::PulseServer()
{
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(dir.filePath(QStringLiteral("native"))));
}

PulseServer::~PulseServer()
{
    kill();
    qunsetenv("PULSE_SERVER");
}

QString PulseServer::unavailable()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        return QStringLiteral("no pulseaudio or parec program here (scripts/setup installs them)");
    return QString();
}

// The server keeps its files in the folder, and never goes by itself.
bool PulseServer::start(const QString &sink)
{
    const QString socket = dir.filePath(QStringLiteral("native"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "PULSE_RUNTIME_PATH", "XDG_RUNTIME_DIR"})
        env.insert(QLatin1String(name), dir.path());
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("pulseaudio"),
                  {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--log-level=error", "-n",
                   QStringLiteral("--load=module-null-sink sink_name=%1 sink_properties=device.description=Test-output").arg(sink),
                   QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=%1").arg(socket)});
    const bool up = process.waitForStarted(Wait) && QTest::qWaitFor([&] {
        QLocalSocket probe;
        probe.connectToServer(socket);
        return probe.waitForConnected(100);
    }, Wait);
    recorder.setStandardOutputFile(QProcess::nullDevice());
    if (up)
        recorder.start(QStringLiteral("parec"), {"--latency-msec=10", "-d", sink + QStringLiteral(".monitor")});
    return up && recorder.waitForStarted(Wait);
}

void PulseServer::kill()
{
    for (QProcess *program : {&recorder, &process}) {
        if (program->state() == QProcess::NotRunning)
            continue;
        program->kill();
        program->waitForFinished(Wait);
    }
}
