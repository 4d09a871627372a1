#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class Config;

// Which configuration file Velmar reads and the folder it runs in while it does.
struct ConfigLocation
{
    // The name handed to Config::loadFile.
    QString file;
    // The folder to make the working directory before reading, so that the file's relative
    // names resolve next to it; empty to stay where Velmar was started.
    QString workDir;
    // The per-user configuration folder, where the first run puts the examples.
    QString userDir;
    // The files looked for when none was found; empty when one was, or when the command line
    // names a file.
    QStringList lookedAt;

    bool found() const { return lookedAt.isEmpty(); }
    // Changes to workDir, if any, with one debug line that names the file read there.
    void enter() const;

    // The command line's -config or -c; else config.cfg in `currentDir`; else the one in the
    // per-user folder; else config.cfg again, which then is not there.
    static ConfigLocation choose(const Config &commandLine, const QProcessEnvironment &environment,
                                 const QString &currentDir);
    // $XDG_CONFIG_HOME/velmar, or ~/.config/velmar when the variable is unset or not absolute.
    static QString userDirFor(const QProcessEnvironment &environment);
    // Copies the files under `from` into `to`, keeping every file that is already there;
    // true when all copies were made and `to` then holds a configuration file.
    static bool copyExamples(const QString &from, const QString &to);
};
