#pragma once

#include "operator/horn.h"

// The horn-control features the configuration switches on.
struct OperatorSettings
{
    bool bar = false;
    bool tray = false;
    HornSettings horn;

    bool usesHorn() const;
    bool enabled() const;
};
