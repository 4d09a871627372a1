#include "sound/soundplayer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QLoggingCategory>
#include <QMediaDevices>

// The sound's trace category, defined with the sound rows.
Q_DECLARE_LOGGING_CATEGORY(lcSound)

namespace {

// The default output named last on the debug channel: one line for a change, however many
// players follow it.
QByteArray announcedOutput;

} // namespace

// Qt 6: the player's audio output carries the volume (0..1, linear) on the default device; the
// player reports its playback state. A failing GStreamer pipeline goes on reporting errors after
// the player has declared the medium invalid; only the first counts, as on Qt 5.
SoundPlayer::SoundPlayer(QObject *parent)
    : QObject(parent)
{
    auto *output = new QAudioOutput(&player);
    player.setAudioOutput(output);
    // Qt 6's audio output keeps the device it was made with, where Qt 5's player follows the
    // system's default: a new default (a headset plugged in) is taken over here, so that the
    // next play is heard there.
    connect(new QMediaDevices(this), &QMediaDevices::audioOutputsChanged, this, [output] {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || device == output->device())
            return;
        if (device.id() != announcedOutput) {
            announcedOutput = device.id();
            qCDebug(lcSound).noquote() << "Default audio output is now" << device.description();
        }
        output->setDevice(device);
    });
    connect(&player, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) { emit stateChanged(State(state)); });
    connect(&player, &QMediaPlayer::mediaStatusChanged, this, &SoundPlayer::mediaStatusChanged);
    connect(&player, &QMediaPlayer::durationChanged, this, &SoundPlayer::durationChanged);
    connect(&player, &QMediaPlayer::errorOccurred, this, [this] {
        if (player.mediaStatus() != QMediaPlayer::InvalidMedia)
            emit errorOccurred();
    });
}

QUrl SoundPlayer::source() const
{
    return player.source();
}

// Qt 6 keeps the pipeline of a source equal to the current one; clearing it first loads the
// file afresh, as Qt 5 does at every setMedia.
void SoundPlayer::setSource(const QUrl &url)
{
    player.setSource(QUrl());
    player.setSource(url);
}

int SoundPlayer::volume() const
{
    return qRound(player.audioOutput()->volume() * MaxVolume);
}

void SoundPlayer::setVolume(int volume)
{
    player.audioOutput()->setVolume(float(qBound(0, volume, MaxVolume)) / MaxVolume);
}

SoundPlayer::State SoundPlayer::state() const
{
    return State(player.playbackState());
}

bool SoundPlayer::outputAvailable()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

static_assert(int(SoundPlayer::StoppedState) == int(QMediaPlayer::StoppedState)
              && int(SoundPlayer::PlayingState) == int(QMediaPlayer::PlayingState)
              && int(SoundPlayer::PausedState) == int(QMediaPlayer::PausedState),
              "SoundPlayer::State follows QMediaPlayer::PlaybackState");
