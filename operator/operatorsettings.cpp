#include "operator/operatorsettings.h"

bool OperatorSettings::usesHorn() const
{
    return bar || horn.holdoffMs > 0 || horn.repeatUntilAck || !horn.criticalEvents.isEmpty() || alarmList;
}

bool OperatorSettings::enabled() const
{
    return usesHorn() || tray;
}
