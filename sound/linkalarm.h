#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "sound/alarmsound.h"
#include "sound/soundplayer.h"

// Rings while the Stars link is down without the user having asked for it: plays its sound at
// once and again at every repeat, until it is told to stop.
class LinkAlarm : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LinkAlarm)

public:
    explicit LinkAlarm(const AlarmSound &sound, QObject *parent = nullptr);

    SoundPlayer &player();
    bool isRinging() const;

public slots:
    void setRinging(bool ringing);
    // Stops the sound that plays now; the alarm rings again at its next repeat.
    void silence();

private:
    void ring();

    AlarmSound sound;
    SoundPlayer mediaPlayer;
    QTimer repeat;
};
