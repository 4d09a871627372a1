#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include "sound/soundplayer.h"

// Turns a player's failures into log lines: a missing or undecodable file or a broken output
// gives one line, and the next one comes only after the player has played again.
class PlaybackWatch : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PlaybackWatch)

public:
    // `what` names the sound in the line, such as "the sound for [Alarm]".
    PlaybackWatch(SoundPlayer *player, const QString &what, QObject *parent);

    // False when the system offers no audio output device at all.
    static bool audioOutputAvailable();

signals:
    void log(const QString &msg, const QColor &c);

private:
    void failed();
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);

    SoundPlayer *player;
    QString what;
    bool reported = false;
};
