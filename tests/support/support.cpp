#include "support.h"

#include <QFile>
#include <QApplication>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "app/config.h"
#include "log/logarea.h"

QByteArray serverConfig(const ScriptedServer &server)
{
    return "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(server.port()) + "\nKEY_ON_STARS Zendri.key\n";
}

QByteArray acceptLogIn(ScriptedServer &server, const QByteArray &after, int lines)
{
    server.waitForClient();
    server.send("0\n");
    server.waitForLines(1);
    server.send("System>Zendri Ok:\n" + after);
    server.waitForLines(1 + lines);
    const QByteArray received = server.received();
    server.clearReceived();
    return received;
}

LogArea *logWindow()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *log = qobject_cast<LogArea *>(window))
            return log;
    }
    return nullptr;
}

QStringList logWindowLines()
{
    QStringList lines = logWindow()->findChild<QTextEdit *>()->toPlainText().split('\n');
    lines.removeLast();
    return lines.replaceInStrings(QRegularExpression("^.{23}"), {});
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
    QFile::remove(path);
    return QFile::copy(QStringLiteral(VELMAR_SOURCE_DIR "/examples/alarm.wav"), path);
}
