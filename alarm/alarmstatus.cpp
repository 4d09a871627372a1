#include "alarm/alarmstatus.h"

QString AlarmStatus::text() const
{
    return notHeard ? alarmStateWord(state) + QStringLiteral(", not heard") : alarmStateWord(state);
}

QString alarmStateWord(AlarmState state)
{
    switch (state) {
    case AlarmState::Ringing:
        return QStringLiteral("ringing");
    case AlarmState::Unacknowledged:
        return QStringLiteral("unacknowledged");
    case AlarmState::Acknowledged:
        return QStringLiteral("acknowledged");
    case AlarmState::Shelved:
        return QStringLiteral("shelved");
    case AlarmState::Normal:
        break;
    }
    return QStringLiteral("normal");
}
