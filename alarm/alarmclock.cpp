#include "alarm/alarmclock.h"

#include <QDateTime>
#include <QElapsedTimer>

AlarmClock AlarmClock::system()
{
    return {[] {
                static QElapsedTimer since;
                if (!since.isValid())
                    since.start();
                return since.elapsed();
            },
            [] { return QDateTime::currentMSecsSinceEpoch(); }};
}
