#include "operator/operatorsettings.h"

bool OperatorSettings::enabled() const
{
    return bar || tray || alarmList;
}
