#pragma once

// The operator's views that the configuration switches on.
struct OperatorSettings
{
    bool bar = false;
    bool tray = false;
    bool alarmList = false;

    bool enabled() const;
};
