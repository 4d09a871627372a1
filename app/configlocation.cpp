#include "app/configlocation.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "app/config.h"

namespace {

const QString FileName = QStringLiteral("config.cfg");
const QString AppFolder = QStringLiteral("velmar");

} // namespace

void ConfigLocation::enter() const
{
    if (workDir.isEmpty())
        return;
    if (!QDir::setCurrent(workDir))
        qCDebug(lcConfig).noquote() << QStringLiteral("Can't enter the folder of config file : ") + file;
    qCDebug(lcConfig).noquote() << QStringLiteral("Reading config file : ") + file;
}

ConfigLocation ConfigLocation::choose(const Config &commandLine, const QProcessEnvironment &environment,
                                      const QString &currentDir)
{
    ConfigLocation location;
    location.userDir = userDirFor(environment);
    location.file = commandLine.exactValueOf(QStringLiteral("-config"), commandLine.exactValueOf(QStringLiteral("-c"), FileName));
    const QString localFile = QDir(currentDir).filePath(FileName);
    if (commandLine.hasExact(QStringLiteral("-config")) || commandLine.hasExact(QStringLiteral("-c"))
        || QFileInfo(localFile).isFile())
        return location;
    const QString userFile = QDir(location.userDir).filePath(FileName);
    if (QFileInfo(userFile).isFile()) {
        location.file = userFile;
        location.workDir = location.userDir;
    } else {
        location.lookedAt = QStringList { localFile, userFile };
    }
    return location;
}

QString ConfigLocation::userDirFor(const QProcessEnvironment &environment)
{
    const QString configHome = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    const QString base = QDir::isAbsolutePath(configHome)
        ? configHome
        : environment.value(QStringLiteral("HOME")) + QStringLiteral("/.config");
    return QDir::cleanPath(base + QLatin1Char('/') + AppFolder);
}

bool ConfigLocation::copyExamples(const QString &from, const QString &to)
{
    const QDir source(from);
    if (!source.exists(FileName))
        return false;
    bool copied = true;
    QDirIterator files(from, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString target = QDir(to).filePath(source.relativeFilePath(path));
        if (QFileInfo::exists(target))
            continue;
        copied = QDir().mkpath(QFileInfo(target).path()) && QFile::copy(path, target) && copied;
    }
    return copied && QFileInfo(QDir(to).filePath(FileName)).isFile();
}
