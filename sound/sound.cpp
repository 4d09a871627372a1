#include "sound/sound.h"

#include <QLoggingCategory>
#include <QMediaContent>

#include "app/connectbysignature.h"
#include "sound/ringcheck.h"
#include "sound/soundurl.h"

Q_LOGGING_CATEGORY(lcSound, "velmar.sound")

namespace {

QStringList splitEventNames(const QString &eventNames)
{
    // simplified() has already turned every run of white space into one blank.
    return eventNames.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

const char *stateName(QMediaPlayer::State state)
{
    switch (state) {
    case QMediaPlayer::PlayingState:
        return "PlayingState";
    case QMediaPlayer::PausedState:
        return "PausedState";
    case QMediaPlayer::StoppedState:
        return "StoppedState";
    }
    return nullptr;
}

} // namespace

Sound::Sound(const QString &eventNames, const QString &soundFile, const QString &volume,
             const QString &sender)
    : eventList(splitEventNames(eventNames))
{
    setupUi(this);
    SoundEvents->setText(eventNames);
    SoundFile->setText(soundFile);
    Volume->setText(volume);
    Sender->setText(sender);

    connectBySignature(Play, SIGNAL(clicked()), this, SLOT(play()));
    connectBySignature(&mediaPlayer, SIGNAL(stateChanged(QMediaPlayer::State)), this,
                       SLOT(mpStateChaned(QMediaPlayer::State)));
}

const QStringList &Sound::events() const
{
    return eventList;
}

QString Sound::name() const
{
    return eventList.join(QLatin1Char(' '));
}

QString Sound::senderText() const
{
    return Sender->text();
}

QMediaPlayer &Sound::player()
{
    return mediaPlayer;
}

QPushButton *Sound::playButton() const
{
    return Play;
}

RingCheck *Sound::checkRings()
{
    return new RingCheck(&mediaPlayer, this);
}

void Sound::keepPrepared()
{
    connect(SoundFile, &QLineEdit::editingFinished, this, &Sound::prepare);
    prepare();
}

// Play sets the same media again, which the player then finds ready.
void Sound::prepare()
{
    mediaPlayer.setMedia(QMediaContent(soundUrl(SoundFile->text())));
}

void Sound::mpStateChaned(QMediaPlayer::State state)
{
    if (const char *name = stateName(state))
        qCDebug(lcSound, "%s", name);
}

// Reads the file and volume afresh, so edits count from the next play. The player clamps
// the volume to 0..100; text that is not a number gives 0.
void Sound::play()
{
    mediaPlayer.setMedia(QMediaContent(soundUrl(SoundFile->text())));
    mediaPlayer.setVolume(Volume->text().toInt(nullptr, 10));
    mediaPlayer.play();
}
