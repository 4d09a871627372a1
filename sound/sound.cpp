#include "sound/sound.h"

#include <QLoggingCategory>

#include "app/connectbysignature.h"
#include "sound/soundurl.h"

Q_LOGGING_CATEGORY(lcSound, "velmar.sound")

namespace {

QStringList splitEventNames(const QString &eventNames)
{
    // simplified() has already turned every run of white space into one blank.
    return eventNames.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

const char *stateName(SoundPlayer::State state)
{
    switch (state) {
    case SoundPlayer::PlayingState:
        return "PlayingState";
    case SoundPlayer::PausedState:
        return "PausedState";
    case SoundPlayer::StoppedState:
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
    connectBySignature(&mediaPlayer, SIGNAL(stateChanged(SoundPlayer::State)), this,
                       SLOT(mpStateChaned(SoundPlayer::State)));
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

SoundPlayer &Sound::player()
{
    return mediaPlayer;
}

QPushButton *Sound::playButton() const
{
    return Play;
}

void Sound::mpStateChaned(SoundPlayer::State state)
{
    if (const char *name = stateName(state))
        qCDebug(lcSound, "%s", name);
}

// Reads the file and volume afresh, so edits count from the next play. The player clamps
// the volume to 0..100; text that is not a number gives 0.
void Sound::play()
{
    mediaPlayer.setSource(soundUrl(SoundFile->text()));
    mediaPlayer.setVolume(Volume->text().toInt(nullptr, 10));
    mediaPlayer.play();
}
