#include "sound/linkalarm.h"

#include <QMediaContent>

#include "sound/playbackwatch.h"
#include "sound/soundurl.h"

LinkAlarm::LinkAlarm(const AlarmSound &sound, QObject *parent)
    : QObject(parent)
    , sound(sound)
{
    repeat.setInterval(sound.repeatMs);
    connect(&repeat, &QTimer::timeout, this, &LinkAlarm::ring);
}

QMediaPlayer &LinkAlarm::player()
{
    return mediaPlayer;
}

PlaybackWatch *LinkAlarm::watchPlayback()
{
    return new PlaybackWatch(&mediaPlayer, QStringLiteral("the link-loss alarm"), this);
}

bool LinkAlarm::isRinging() const
{
    return repeat.isActive();
}

void LinkAlarm::setRinging(bool ringing)
{
    if (ringing == isRinging())
        return;
    if (!ringing) {
        repeat.stop();
        mediaPlayer.stop();
        return;
    }
    repeat.start();
    ring();
}

void LinkAlarm::silence()
{
    mediaPlayer.stop();
}

void LinkAlarm::ring()
{
    mediaPlayer.setMedia(QMediaContent(soundUrl(sound.file)));
    mediaPlayer.setVolume(sound.volume);
    mediaPlayer.play();
}
