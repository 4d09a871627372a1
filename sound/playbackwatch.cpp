#include "sound/playbackwatch.h"

#include "log/logcolours.h"

PlaybackWatch::PlaybackWatch(SoundPlayer *player, const QString &what, QObject *parent)
    : QObject(parent)
    , player(player)
    , what(what)
{
    connect(player, &SoundPlayer::errorOccurred, this, &PlaybackWatch::failed);
    connect(player, &SoundPlayer::mediaStatusChanged, this, &PlaybackWatch::mediaStatusChanged);
}

bool PlaybackWatch::audioOutputAvailable()
{
    return SoundPlayer::outputAvailable();
}

void PlaybackWatch::failed()
{
    if (reported)
        return;
    reported = true;
    const QString file = player->source().toLocalFile();
    emit log(QStringLiteral("Can't play %1 from [%2]: %3").arg(what, file, player->errorString()),
             LogColours::Failure);
}

// A buffered medium has been decoded and reached the output: the sound plays again.
void PlaybackWatch::mediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    if (status == QMediaPlayer::BufferedMedia)
        reported = false;
}
