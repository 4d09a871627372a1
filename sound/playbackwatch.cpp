#include "sound/playbackwatch.h"

#include <QAudioDeviceInfo>
#include <QMediaContent>

#include "log/logcolours.h"

PlaybackWatch::PlaybackWatch(QMediaPlayer *player, const QString &what, QObject *parent)
    : QObject(parent)
    , player(player)
    , what(what)
{
    connect(player, QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error), this,
            &PlaybackWatch::failed);
    connect(player, &QMediaPlayer::mediaStatusChanged, this, &PlaybackWatch::mediaStatusChanged);
}

bool PlaybackWatch::audioOutputAvailable()
{
    return !QAudioDeviceInfo::defaultOutputDevice().isNull();
}

void PlaybackWatch::failed()
{
    if (reported)
        return;
    reported = true;
    const QString file = player->media().request().url().toLocalFile();
    emit log(QStringLiteral("Can't play %1 from [%2]: %3").arg(what, file, player->errorString()),
             LogColours::Failure);
}

// A buffered medium has been decoded and reached the output: the sound plays again.
void PlaybackWatch::mediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    if (status == QMediaPlayer::BufferedMedia)
        reported = false;
}
