#include "sound/sound.h"

#include <QDateTime>
#include <QLabel>
#include <QLoggingCategory>
#include <QToolButton>

#include "alarm/alarmrow.h"
#include "app/config.h"
#include "app/connectbysignature.h"
#include "log/logcolours.h"
#include "sound/playbackwatch.h"
#include "sound/ringcheck.h"
#include "sound/soundurl.h"

Q_LOGGING_CATEGORY(lcSound, "velmar.sound")

namespace {

// The status text stands right of the Play button in the row's grid, the menu button last.
constexpr int StatusColumn = 6;
constexpr int MenuColumn = 7;

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
    : eventList(eventNameList(eventNames))
{
    setupUi(this);
    SoundEvents->setText(eventNames);
    SoundFile->setText(soundFile);
    Volume->setText(volume);
    Sender->setText(sender);

    connectBySignature(Play, SIGNAL(clicked()), this, SLOT(play()));
    connectBySignature(&mediaPlayer, SIGNAL(stateChanged(SoundPlayer::State)), this,
                       SLOT(mpStateChaned(SoundPlayer::State)));
    connect(&mediaPlayer, &SoundPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
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

SoundPlayer &Sound::player()
{
    return mediaPlayer;
}

void Sound::showAlarm(const AlarmRow &alarm, bool acknowledgeByButton)
{
    if (alarm.notHeard)
        Play->setText(tr("Not heard"));
    else
        Play->setText(acknowledgeByButton && alarm.unacknowledged() ? tr("Ack") : tr("Play"));
    const QString colour = QStringLiteral("color: %1;").arg(LogColours::Failure.name());
    const QString look = alarm.critical ? colour + QStringLiteral(" font-weight: bold;") : alarm.notHeard ? colour : QString();
    // A new style sheet costs a polish of the button, even when it is the same.
    if (Play->styleSheet() != look)
        Play->setStyleSheet(look);

    if (alarm.state == AlarmState::Shelved) {
        setStatusText(alarm.shelfEndMs == 0 ? tr("Shelved")
                                            : tr("Shelved until %1").arg(QDateTime::fromMSecsSinceEpoch(alarm.shelfEndMs).toString(QStringLiteral("hh:mm"))),
                      tr("Rings nothing until unshelved; right-click to unshelve"));
        return;
    }
    setStatusText(alarm.heldBack > 0 ? QStringLiteral("×%1").arg(alarm.heldBack) : QString(),
                  tr("Events held back since the row last started"));
}

void Sound::offerMenu()
{
    auto *menuButton = new QToolButton(this);
    menuButton->setObjectName(QStringLiteral("MenuB"));
    menuButton->setText(QStringLiteral("⋮"));
    menuButton->setToolTip(tr("Shelve this row"));
    menuButton->setAutoRaise(true);
    gridLayout->addWidget(menuButton, 0, MenuColumn);
    connect(menuButton, &QToolButton::clicked, this, [this, menuButton] {
        emit menuRequested(menuButton->mapToGlobal(QPoint(0, menuButton->height())));
    });
    // The fields hand their right-clicks to the row.
    for (QWidget *child : findChildren<QWidget *>())
        child->setContextMenuPolicy(Qt::NoContextMenu);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) { emit menuRequested(mapToGlobal(pos)); });
}

void Sound::setStatusText(const QString &text, const QString &toolTip)
{
    if (!status && text.isEmpty())
        return;
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

RingCheck *Sound::checkRings()
{
    ringCheck = new RingCheck(&mediaPlayer, this);
    return ringCheck;
}

void Sound::keepPrepared()
{
    connect(SoundFile, &QLineEdit::editingFinished, this, &Sound::prepare);
    prepare();
}

// Play sets the same media again, which the player then finds ready.
void Sound::prepare()
{
    mediaPlayer.setSource(soundUrl(SoundFile->text()));
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
    if (ringCheck)
        ringCheck->playing();
    mediaPlayer.play();
}

void Sound::stop()
{
    mediaPlayer.stop();
}
