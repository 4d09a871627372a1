#include "sound/ringcheck.h"

#include "app/timeunits.h"

RingCheck::RingCheck(SoundPlayer *player, QObject *parent)
    : QObject(parent)
    , player(player)
{
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, &RingCheck::stuck);
    connect(player, &SoundPlayer::stateChanged, this, &RingCheck::stateChanged);
    connect(player, &SoundPlayer::mediaStatusChanged, this, &RingCheck::mediaStatusChanged);
    connect(player, &SoundPlayer::durationChanged, this, [this] {
        if (armed)
            setDeadline();
    });
    connect(player, &SoundPlayer::errorOccurred, this, &RingCheck::failed);
}

// Armed before the player is told, so that a failure it reports at once belongs to this play.
void RingCheck::playing()
{
    armed = true;
    sincePlay.start();
    setDeadline();
}

// A play that ended or was stopped (acknowledged, silenced) needs no verdict: the row tells of
// its end itself.
void RingCheck::stateChanged(SoundPlayer::State state)
{
    if (state == SoundPlayer::StoppedState)
        finish();
}

void RingCheck::mediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    if (status == QMediaPlayer::EndOfMedia)
        finish();
}

void RingCheck::failed()
{
    finish();
    emit notHeard(player->errorString());
}

void RingCheck::stuck()
{
    finish();
    player->stop();
    emit notHeard(QStringLiteral("the player did not finish within %1 s")
                      .arg(QString::number(double(player->duration() + GraceMs) / MsPerSecond)));
}

void RingCheck::finish()
{
    armed = false;
    deadline.stop();
}

void RingCheck::setDeadline()
{
    const qint64 due = qMax<qint64>(0, player->duration()) + GraceMs;
    deadline.start(int(qMax<qint64>(0, due - sincePlay.elapsed())));
}
