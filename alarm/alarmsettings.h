#pragma once

#include <QStringList>

// How the alarm model treats the rows' events besides ringing every matching row at once.
struct AlarmSettings
{
    static constexpr int HeldBackLineMs = 10000;
    static constexpr int DefaultKeepAcknowledgedMs = 60 * 60000;

    // A row started less than this ago does not restart on a new event but holds it back.
    int holdoffMs = 0;
    // A row rung by an event repeats until acknowledged; Silence acknowledges every row.
    bool repeatUntilAck = false;
    // A row with one of these among its events rings through Mute and Snooze and cannot be shelved.
    QStringList criticalEvents;
    // A row's held-back events get one log line at most this often.
    int heldBackLineMs = HeldBackLineMs;
    // An acknowledged alarm returns to normal after this long without an event.
    int keepAcknowledgedMs = DefaultKeepAcknowledgedMs;
};
