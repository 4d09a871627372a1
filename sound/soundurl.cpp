#include "sound/soundurl.h"

#include <QFileInfo>
#include <QString>

QUrl soundUrl(const QString &fileName)
{
    if (fileName.isEmpty())
        return QUrl();
    return QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath());
}
