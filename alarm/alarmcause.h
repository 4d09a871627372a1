#pragma once

#include <QString>

// What made an alarm change or ring: an input of the alarm model.
enum class AlarmCause {
    Event,          // a matching event
    Repeat,         // the row's sound ended and it waits for its acknowledgement
    Click,          // the row's own button, played by the operator
    SoundBack,      // the sound output came back after the ring was not heard
    Restore,        // the alarm stood when Velmar last stopped
    Peer,           // acknowledged at a peer desk
    Heard,          // the ring played to its end
    NotHeard,       // the ring could not be heard
    Acknowledge,    // the row's Ack or the alarm list's Ack
    AcknowledgeAll, // the alarm list's Ack all
    Silence,
    Mute,
    Snooze,
    Unmute,
    SnoozeEnd,
    Shelve,
    Unshelve,
    ShelfEnd,
    Expired,        // acknowledged and without an event for the keep time
};

// The cause as the alarm trace writes it: "event", "sound back", "ack all", ...
QString alarmCauseWord(AlarmCause cause);
