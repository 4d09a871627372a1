#pragma once

#include "ui_sound.h"

#include <QFrame>
#include <QMediaPlayer>
#include <QString>
#include <QStringList>

class RingCheck;

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
    QMediaPlayer &player();
    // For the horn control, which takes over the button's clicks and text.
    QPushButton *playButton() const;

private slots:
    void mpStateChaned(QMediaPlayer::State state);

    // Builds the check on each play of the row's player, for the sound watch.
    RingCheck *checkRings();
    // Loads the row's file into its player now and again whenever the file field is edited,
    // so that the first play costs no more than later ones.
    void keepPrepared();

public slots:
    void play();

private:
    void prepare();

    QMediaPlayer mediaPlayer;
    QStringList eventList;
};
