#include "login.h"

#include <QFile>
#include <QLineEdit>
#include <QTest>

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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
