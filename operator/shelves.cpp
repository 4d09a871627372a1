#include "operator/shelves.h"

#include <limits>

#include "app/durationtext.h"
#include "app/timeunits.h"
#include "log/logcolours.h"

namespace {

// "1 h", "15 min", or seconds for a length that is neither.
QString lengthText(qint64 ms)
{
    if (ms % MsPerHour == 0)
        return QStringLiteral("%1 h").arg(ms / MsPerHour);
    if (ms % MsPerMinute == 0)
        return QStringLiteral("%1 min").arg(ms / MsPerMinute);
    return QStringLiteral("%1 s").arg(QString::number(ms / double(MsPerSecond)));
}

} // namespace

Shelves::Shelves(const QStringList &rowNames, Clock clock, QObject *parent)
    : QObject(parent)
    , names(rowNames)
    , clock(std::move(clock))
    , shelves(rowNames.size())
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &Shelves::endExpired);
}

bool Shelves::isShelved(int row) const
{
    return shelves.at(row).on;
}

qint64 Shelves::remainingMs(int row) const
{
    const Shelf &shelf = shelves.at(row);
    return shelf.on && shelf.endMs != UntilUnshelved ? qMax<qint64>(0, shelf.endMs - clock()) : 0;
}

void Shelves::shelve(int row, qint64 ms)
{
    Shelf &shelf = shelves[row];
    const bool wasOn = shelf.on;
    shelf.on = true;
    shelf.sinceMs = wasOn ? shelf.sinceMs : clock();
    shelf.endMs = ms == UntilUnshelved ? UntilUnshelved : clock() + ms;
    emit log(ms == UntilUnshelved ? QStringLiteral("[%1] shelved until unshelved").arg(names.at(row))
                                  : QStringLiteral("[%1] shelved for %2").arg(names.at(row), lengthText(ms)),
             LogColours::Quiet);
    armTimer();
    emit changed(row, true);
}

void Shelves::unshelve(int row)
{
    if (!shelves.at(row).on)
        return;
    end(row, QStringLiteral("[%1] unshelved after %2").arg(names.at(row), durationText(clock() - shelves.at(row).sinceMs)));
    armTimer();
}

void Shelves::endExpired()
{
    for (int row = 0; row < shelves.size(); ++row) {
        const Shelf &shelf = shelves.at(row);
        if (shelf.on && shelf.endMs != UntilUnshelved && shelf.endMs <= clock())
            end(row, QStringLiteral("[%1] shelf ended").arg(names.at(row)));
    }
    armTimer();
}

void Shelves::end(int row, const QString &line)
{
    shelves[row].on = false;
    emit log(line, LogColours::Quiet);
    emit changed(row, false);
}

void Shelves::armTimer()
{
    qint64 next = std::numeric_limits<qint64>::max();
    for (const Shelf &shelf : qAsConst(shelves)) {
        if (shelf.on && shelf.endMs != UntilUnshelved)
            next = qMin(next, shelf.endMs);
    }
    if (next == std::numeric_limits<qint64>::max()) {
        timer.stop();
        return;
    }
    timer.start(int(qBound(qint64(0), next - clock(), qint64(std::numeric_limits<int>::max()))));
}
