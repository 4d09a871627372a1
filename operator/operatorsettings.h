#pragma once

#include "operator/horn.h"

// The horn-control features the configuration switches on.
struct OperatorSettings
{
    static constexpr int DefaultAlarmListKeepMin = 60;

    bool bar = false;
    bool tray = false;
    HornSettings horn;
    bool alarmList = false;
    int alarmListKeepMin = DefaultAlarmListKeepMin;

    bool usesHorn() const;
    bool enabled() const;
};
