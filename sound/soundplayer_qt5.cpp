#include "sound/soundplayer.h"

#include <QAudioDeviceInfo>
#include <QMediaContent>

// Qt 5: the player carries the volume (0..100, linear) and its own state.
SoundPlayer::SoundPlayer(QObject *parent)
    : QObject(parent)
{
    connect(&player, &QMediaPlayer::stateChanged, this,
            [this](QMediaPlayer::State state) { emit stateChanged(State(state)); });
    connect(&player, &QMediaPlayer::mediaStatusChanged, this, &SoundPlayer::mediaStatusChanged);
    connect(&player, &QMediaPlayer::durationChanged, this, &SoundPlayer::durationChanged);
    connect(&player, QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error), this,
            &SoundPlayer::errorOccurred);
}

QUrl SoundPlayer::source() const
{
    return player.media().request().url();
}

void SoundPlayer::setSource(const QUrl &url)
{
    player.setMedia(QMediaContent(url));
}

int SoundPlayer::volume() const
{
    return player.volume();
}

void SoundPlayer::setVolume(int volume)
{
    player.setVolume(qBound(0, volume, MaxVolume));
}

SoundPlayer::State SoundPlayer::state() const
{
    return State(player.state());
}

bool SoundPlayer::outputAvailable()
{
    return !QAudioDeviceInfo::defaultOutputDevice().isNull();
}

static_assert(int(SoundPlayer::StoppedState) == int(QMediaPlayer::StoppedState)
              && int(SoundPlayer::PlayingState) == int(QMediaPlayer::PlayingState)
              && int(SoundPlayer::PausedState) == int(QMediaPlayer::PausedState),
              "SoundPlayer::State follows QMediaPlayer::State");
