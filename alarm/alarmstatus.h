#pragma once

#include <QString>

// Where one alarm stands, as alarm management names it: nothing standing, sounding and not yet
// acknowledged, unacknowledged but quiet (muted, snoozed, held back, ended, or not heard),
// acknowledged, or shelved by the operator.
enum class AlarmState { Normal, Ringing, Unacknowledged, Acknowledged, Shelved };

// The state with the one mark that changes what it means: a ring that could not be heard.
struct AlarmStatus
{
    AlarmState state = AlarmState::Normal;
    bool notHeard = false;

    // "ringing", or "unacknowledged, not heard": the form the alarm trace writes.
    QString text() const;

    bool operator==(const AlarmStatus &other) const { return state == other.state && notHeard == other.notHeard; }
    bool operator!=(const AlarmStatus &other) const { return !(*this == other); }
};

// The state's word: "normal", "ringing", "unacknowledged", "acknowledged" or "shelved".
QString alarmStateWord(AlarmState state);
