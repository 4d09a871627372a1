#include "alarm/ring.h"

bool Ring::runsPrograms() const
{
    return cause == AlarmCause::Event || cause == AlarmCause::SoundBack || cause == AlarmCause::Restore;
}
