#include "journal/journalrestore.h"

#include <QDateTime>
#include <QStringList>

#include "alarm/alarmmodel.h"
#include "journal/journalopening.h"

namespace {

QString counted(int n, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// "a", "a and b", "a, b and c".
QString listed(const QStringList &parts)
{
    if (parts.size() < 2)
        return parts.value(0);
    return QStringList(parts.mid(0, parts.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ") + parts.last();
}

// The time alone on the day it was, the date too before that.
QString momentText(qint64 ms)
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(ms);
    return moment.date() == QDate::currentDate() ? moment.toString(QStringLiteral("hh:mm:ss"))
                                                  : moment.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

QStringList standingNames(const AlarmModel &alarms)
{
    QStringList names;
    QStringList plain;
    for (int row = 0; row < alarms.rowCount(); ++row) {
        const QString name = alarms.row(row).name;
        const int earlier = int(plain.count(name));
        names << (earlier == 0 ? name : QStringLiteral("%1 #%2").arg(name).arg(earlier + 1));
        plain << name;
    }
    return names;
}

QString restoreAlarms(AlarmModel &alarms, const JournalOpening &opening)
{
    int unacknowledged = 0;
    int acknowledged = 0;
    int shelves = 0;
    const QStringList names = standingNames(alarms);
    for (const AlarmRow &saved : opening.standing) {
        const int row = int(names.indexOf(saved.name));
        if (saved.state == AlarmState::Normal || row < 0)
            continue;
        alarms.restore(row, saved);
        unacknowledged += saved.unacknowledged();
        acknowledged += saved.state == AlarmState::Acknowledged;
        shelves += saved.state == AlarmState::Shelved;
    }
    QStringList parts;
    if (unacknowledged > 0)
        parts << counted(unacknowledged, QStringLiteral("unacknowledged alarm"), QStringLiteral("unacknowledged alarms"));
    if (acknowledged > 0)
        parts << counted(acknowledged, QStringLiteral("acknowledged alarm"), QStringLiteral("acknowledged alarms"));
    if (shelves > 0)
        parts << counted(shelves, QStringLiteral("shelf"), QStringLiteral("shelves"));
    if (parts.isEmpty() && opening.gone.isEmpty())
        return QString();
    QString line = QStringLiteral("Restored %1 from before %2")
                       .arg(parts.isEmpty() ? QStringLiteral("nothing") : listed(parts), momentText(opening.lastMs));
    if (!opening.gone.isEmpty())
        line += QStringLiteral("; not restored, as no row has their events now: [%1]").arg(opening.gone.join(QStringLiteral("], [")));
    return line;
}
