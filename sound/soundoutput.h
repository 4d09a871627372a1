#pragma once

#include <QMetaType>
#include <QString>

// What the sound path leads to now: an output that a person can hear, named by its
// description, or the reason why there is none.
struct SoundOutput
{
    enum class State { Unknown, Usable, Lost };

    State state = State::Unknown;
    // The output's description when usable, what was found instead when lost.
    QString text;

    bool operator==(const SoundOutput &other) const
    {
        return state == other.state && text == other.text;
    }
    bool operator!=(const SoundOutput &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(SoundOutput)
