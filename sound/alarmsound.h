#pragma once

#include <QString>

// The sound of the link-loss alarm and how often it rings again.
struct AlarmSound
{
    QString file;
    int volume = 100;
    int repeatMs = 30000;
};
