#include "operator/runsettings.h"

bool RunSettings::enabled() const
{
    return !onRing.isEmpty() || !onEvent.isEmpty();
}
