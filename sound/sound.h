#pragma once

#include "sound/ui_sound.h"

#include <QFrame>
#include <QString>
#include <QStringList>

#include "sound/soundplayer.h"

// One row of the sound list: the events it reacts to, the sender that counts, and the
// player that plays its file.
class Sound : public QFrame, private Ui_Sound
{
    Q_OBJECT
    Q_DISABLE_COPY(Sound)

public:
    Sound(const QString &eventNames, const QString &soundFile, const QString &volume,
          const QString &sender);

    const QStringList &events() const;
    // The row's events as one name, "Done Finished", for the lines that speak of the row.
    QString name() const;
    QString senderText() const;
    SoundPlayer &player();
    // For the horn control, which takes over the button's clicks and text.
    QPushButton *playButton() const;

private slots:
    void mpStateChaned(SoundPlayer::State state);

public slots:
    void play();

private:
    SoundPlayer mediaPlayer;
    QStringList eventList;
};
