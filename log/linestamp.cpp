#include "log/linestamp.h"

#include <QDateTime>

#include "app/timeunits.h"

namespace {

const QString UpToSecondFormat = QStringLiteral("yy/MM/dd hh:mm:ss.");

} // namespace

// Converting to local time costs a time-zone look-up (glibc stats /etc/localtime for each
// one), so that is done once per second and the milliseconds are appended to its text.
// Time-zone offsets are whole seconds, so the milliseconds are the same in local time.
QString LineStamp::now()
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 thisSecond = ms / MsPerSecond;
    if (thisSecond != second) {
        second = thisSecond;
        upToSecond = QDateTime::fromMSecsSinceEpoch(thisSecond * MsPerSecond).toString(UpToSecondFormat);
    }
    return upToSecond + QStringLiteral("%1: ").arg(ms % MsPerSecond, 3, 10, QLatin1Char('0'));
}
