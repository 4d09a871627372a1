#include "sound/sound.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QMediaContent>

#include "app/connectbysignature.h"
#include "log/logcolours.h"
#include "sound/playbackwatch.h"
#include "sound/soundurl.h"

Q_LOGGING_CATEGORY(lcSound, "velmar.sound")

namespace {

// The status text stands right of the Play button in the row's grid.
constexpr int StatusColumn = 6;

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
    connect(&mediaPlayer, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia)
            emit ended();
    });
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

void Sound::setLook(Look look)
{
    switch (look) {
    case Look::Plain:
        Play->setText(tr("Play"));
        Play->setStyleSheet(QString());
        return;
    case Look::WaitingForAck:
        Play->setText(tr("Ack"));
        Play->setStyleSheet(QString());
        return;
    case Look::NotHeard:
        Play->setText(tr("Not heard"));
        Play->setStyleSheet(QStringLiteral("color: %1;").arg(LogColours::Failure.name()));
        return;
    }
}

void Sound::setStatusText(const QString &text, const QString &toolTip)
{
    if (!status) {
        status = new QLabel(this);
        status->setObjectName(QStringLiteral("Status"));
        gridLayout->addWidget(status, 0, StatusColumn);
    }
    status->setText(text);
    status->setToolTip(toolTip);
    status->setVisible(!text.isEmpty());
}

void Sound::handOverButton()
{
    Play->disconnect(this);
    connect(Play, &QPushButton::clicked, this, &Sound::buttonClicked);
}

PlaybackWatch *Sound::watchPlayback()
{
    return new PlaybackWatch(&mediaPlayer, QStringLiteral("the sound for [%1]").arg(name()), this);
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

void Sound::stop()
{
    mediaPlayer.stop();
}
