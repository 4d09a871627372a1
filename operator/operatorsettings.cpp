#include "operator/operatorsettings.h"

bool OperatorSettings::usesHorn() const
{
    return bar || horn.holdoffMs > 0 || horn.repeatUntilAck;
}

bool OperatorSettings::enabled() const
{
    return usesHorn() || tray;
}
