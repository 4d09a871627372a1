#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QUrl>

// The media player as the sound rows and the link-loss alarm use it, the same on Qt 5 and Qt 6:
// a file to play, a linear volume of 0..100, playing or stopped, the end of the medium and the
// player's failures. Qt Multimedia changed these between the two; soundplayer_qt5.cpp and
// soundplayer_qt6.cpp, chosen by the build, hold what differs.
class SoundPlayer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SoundPlayer)

public:
    // Named as the sound's trace lines name them.
    enum State { StoppedState, PlayingState, PausedState };
    Q_ENUM(State)

    static constexpr int MaxVolume = 100;

    explicit SoundPlayer(QObject *parent = nullptr);

    QUrl source() const;
    // A player that plays stops first, so that the new file starts from its beginning.
    void setSource(const QUrl &url);
    int volume() const;
    // Clamped to 0..MaxVolume.
    void setVolume(int volume);
    State state() const;
    QMediaPlayer::MediaStatus mediaStatus() const;
    QString errorString() const;
    // The sound's length in milliseconds once the player knows it, else 0 or less.
    qint64 duration() const;

    // False when the system offers no audio output device at all. A player then plays into
    // nothing without reporting an error.
    static bool outputAvailable();

public slots:
    void play();
    void stop();

signals:
    void stateChanged(SoundPlayer::State state);
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);
    void errorOccurred();
    void durationChanged();

private:
    QMediaPlayer player;
};
