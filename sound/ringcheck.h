#pragma once

#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "sound/soundplayer.h"

// Follows each play of one row's player to its end: not heard when the player failed or has not
// finished within the sound's length and GraceMs (a stuck player is stopped then).
class RingCheck : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RingCheck)

public:
    static constexpr int GraceMs = 2000;

    RingCheck(SoundPlayer *player, QObject *parent);

    // The row asks its player to play now. A play that was under way ends without a verdict.
    void playing();

signals:
    void notHeard(const QString &reason);

private:
    void stateChanged(SoundPlayer::State state);
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);
    void failed();
    void stuck();
    void finish();
    // The deadline counts from the start of the play; the length may become known later.
    void setDeadline();

    SoundPlayer *player;
    QTimer deadline;
    // Runs from the start of the play; a steady clock, so that a change of the wall clock
    // cannot cut a play short or let a stuck one run on.
    QElapsedTimer sincePlay;
    bool armed = false;
};
