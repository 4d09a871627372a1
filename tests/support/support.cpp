#include "support.h"

#include <QDataStream>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtMath>

#include "app/config.h"
#include "stars/connectstat.h"
#include "stars/stars.h"

bool logIn(ScriptedServer &server, Stars &stars, const QByteArray &keyIndexLine, int ms)
{
    stars.portField()->setText(QString::number(server.port()));
    stars.hostField()->setText(QStringLiteral("127.0.0.1"));
    if (!server.hasClient())
        stars.connectToStars();
    if (!server.waitForClient(ms))
        return false;
    server.clearReceived();
    server.send(keyIndexLine);
    if (!server.waitForLines(1, ms))
        return false;
    server.send("System>" + stars.nodeNameField()->text().toUtf8() + " Ok:\n");
    const bool ready = QTest::qWaitFor(
        [&stars] { return stars.connectionState() == ConnectStat::Connected; }, ms);
    server.clearReceived();
    return ready;
}

bool loadConfig(const QByteArray &text)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("test.cfg"));
    if (!writeFile(path, text))
        return false;
    config = Config();
    config.loadFile(path);
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool writeWav(const QString &path)
{
    constexpr quint32 Rate = 8000;
    constexpr quint32 DataBytes = Rate * 3 / 10 * 2;
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + DataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << Rate << Rate * 2 << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << DataBytes;
    for (quint32 i = 0; i < DataBytes / 2; ++i)
        out << qint16(8000 * qSin(2 * M_PI * 440 * i / Rate));
    return writeFile(path, wav);
}

bool startVelmar(QProcess &velmar, const QString &workDir, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velmar.*.debug=true"));
    environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    velmar.setProcessEnvironment(environment);
    velmar.setWorkingDirectory(workDir);
    velmar.start(QStringLiteral(VELMAR_BIN), arguments);
    return velmar.waitForStarted();
}
