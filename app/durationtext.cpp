#include "app/durationtext.h"

#include "app/timeunits.h"

QString durationText(qint64 ms)
{
    const qint64 seconds = qMax<qint64>(0, ms) / MsPerSecond;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
