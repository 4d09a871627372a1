#include "pulseserver.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString Program = QStringLiteral("pulseaudio");

} // namespace

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
    if (QStandardPaths::findExecutable(Program).isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        return QStringLiteral("no pulseaudio or parec program here (scripts/setup installs them)");
    return QString();
}

bool PulseServer::start(const QString &sink)
{
    const QString socket = dir.filePath(QStringLiteral("native"));
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QDir(dir.path()).mkpath(QStringLiteral("home"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(Program, {QStringLiteral("--daemonize=no"), QStringLiteral("--system=false"),
                            QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                            QStringLiteral("--log-level=error"), QStringLiteral("-n"),
                            QStringLiteral("--load=module-null-sink sink_name=%1 sink_properties=device.description=Test-output").arg(sink),
                            QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=%1").arg(socket)});
    if (!process.waitForStarted(Wait))
        return false;
    const bool up = QTest::qWaitFor([&] {
        QLocalSocket probe;
        probe.connectToServer(socket);
        return probe.waitForConnected(100);
    }, Wait);
    if (!up)
        return false;
    recorder.setStandardOutputFile(QProcess::nullDevice());
    recorder.start(QStringLiteral("parec"), {QStringLiteral("--latency-msec=10"), QStringLiteral("-d"), sink + QStringLiteral(".monitor")});
    return recorder.waitForStarted(Wait);
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
