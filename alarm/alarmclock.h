#pragma once

#include <QtGlobal>

#include <functional>

// The alarm model's time: a steady clock for the lengths it keeps (hold-off, snooze, the
// interval of its log lines), which a change of the wall clock cannot stretch, and the wall
// clock for the times it shows and that outlive the process (events, shelves).
struct AlarmClock
{
    // Milliseconds on a steady clock, and since the epoch.
    std::function<qint64()> steadyMs;
    std::function<qint64()> wallMs;

    // The system's clocks.
    static AlarmClock system();
};
