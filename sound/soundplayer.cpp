#include "sound/soundplayer.h"

// What is the same on Qt 5 and Qt 6; the rest is in soundplayer_qt<major>.cpp.

namespace {

// The state travels by name in string connections and signal spies, as Qt 5 needs it registered.
const int StateType = qRegisterMetaType<SoundPlayer::State>();

} // namespace

QMediaPlayer::MediaStatus SoundPlayer::mediaStatus() const
{
    return player.mediaStatus();
}

qint64 SoundPlayer::duration() const
{
    return player.duration();
}

QString SoundPlayer::errorString() const
{
    return player.errorString();
}

void SoundPlayer::play()
{
    player.play();
}

void SoundPlayer::stop()
{
    player.stop();
}
