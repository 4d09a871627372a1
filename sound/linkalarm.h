#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QTimer>

class PlaybackWatch;

// The sound of the link-loss alarm and how often it rings again.
struct AlarmSound
{
    QString file;
    int volume = 100;
    int repeatMs = 30000;
};

// Rings while the Stars link is down without the user having asked for it: plays its sound at
// once and again at every repeat, until it is told to stop.
class LinkAlarm : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LinkAlarm)

public:
    explicit LinkAlarm(const AlarmSound &sound, QObject *parent = nullptr);

    // For tests that observe what the alarm plays.
    QMediaPlayer &player();
    bool isRinging() const;
    // Watches the alarm's player and reports its failures as log lines.
    PlaybackWatch *watchPlayback();

public slots:
    void setRinging(bool ringing);
    // Stops the sound that plays now; the alarm rings again at its next repeat.
    void silence();

private:
    void ring();

    AlarmSound sound;
    QMediaPlayer mediaPlayer;
    QTimer repeat;
};
