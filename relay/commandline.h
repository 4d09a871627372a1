#pragma once

#include <QString>
#include <QStringList>

// The command line as the relay's tools read it: every argument decoded from UTF-8.
QStringList commandLineArguments(int argc, char **argv);

// Writes "<application name>: <message>" to standard error and returns `code`, the exit status.
int commandLineFailure(const QString &message, int code);
