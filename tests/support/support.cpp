#include "support.h"

#include <QDataStream>
#include <QFile>
#include <QLineEdit>
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
    constexpr quint32 rate = 8000;
    constexpr quint32 samples = rate * 3 / 10;
    constexpr quint32 dataBytes = samples * 2;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    file.write("RIFF");
    out << quint32(36 + dataBytes);
    file.write("WAVEfmt ");
    out << quint32(16) << quint16(1) << quint16(1) << rate << rate * 2 << quint16(2) << quint16(16);
    file.write("data");
    out << dataBytes;
    for (quint32 i = 0; i < samples; ++i)
        out << qint16(8000 * qSin(2 * M_PI * 440 * i / rate));
    return out.status() == QDataStream::Ok && file.flush();
}
