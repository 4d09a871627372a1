#pragma once

#include <QColor>
#include <QMediaPlayer>
#include <QObject>
#include <QString>

// Turns a player's failures into log lines: a missing or undecodable file or a broken output
// gives one line, and the next one comes only after the player has played again.
class PlaybackWatch : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PlaybackWatch)

public:
    // `what` names the sound in the line, such as "the sound for [Alarm]".
    PlaybackWatch(QMediaPlayer *player, const QString &what, QObject *parent);

    // False when the system offers no audio output device at all. A player then plays into
    // nothing without reporting an error.
    static bool audioOutputAvailable();

signals:
    void log(const QString &msg, const QColor &c);

private:
    void failed();
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);

    QMediaPlayer *player;
    QString what;
    bool reported = false;
};
