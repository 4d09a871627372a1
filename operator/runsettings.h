#pragma once

#include <QVector>

#include "operator/eventcommand.h"

// The programs that events run: RUN_ON_RING and RUN_ON_EVENT, and their time-out.
struct RunSettings
{
    static constexpr int DefaultTimeoutMs = 30000;

    QVector<EventCommand> onRing;
    QVector<EventCommand> onEvent;
    int timeoutMs = DefaultTimeoutMs;

    bool enabled() const;
};
