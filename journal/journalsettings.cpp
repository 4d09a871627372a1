#include "journal/journalsettings.h"

#include <QDir>

QString JournalSettings::defaultFile(const QProcessEnvironment &environment)
{
    const QString stateHome = environment.value(QStringLiteral("XDG_STATE_HOME"));
    const QString base = QDir::isAbsolutePath(stateHome)
        ? stateHome
        : environment.value(QStringLiteral("HOME")) + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/velmar/journal.db"));
}
