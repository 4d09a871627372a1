#pragma once

#include "sound/ui_sound.h"

#include <QFrame>
#include <QString>
#include <QStringList>

#include "sound/soundplayer.h"

class PlaybackWatch;
class QLabel;
struct AlarmRow;
class QPoint;
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
    // For tests and benchmarks that observe what the row plays.
    SoundPlayer &player();

    // Shows the row's alarm: its button tells of a ring that could not be heard ("Not heard"),
    // else offers to acknowledge an alarm that waits for it when `acknowledgeByButton`
    // ("Ack"), else plays; a critical row's button stands out in the failure colour and bold;
    // right of it the row's shelf, or the events it held back.
    void showAlarm(const AlarmRow &alarm, bool acknowledgeByButton);
    // A small menu button at the row's right end; it and a right-click anywhere on the row
    // emit menuRequested().
    void offerMenu();
    // From now on a click on the button is reported by buttonClicked() instead of playing.
    void handOverButton();
    // Watches the row's player and reports its failures as log lines.
    PlaybackWatch *watchPlayback();
    // Builds the check on each play of the row's player, for the sound watch.
    RingCheck *checkRings();
    // Loads the row's file into its player now and again whenever the file field is edited,
    // so that the first play costs no more than later ones.
    void keepPrepared();

signals:
    void buttonClicked();
    void menuRequested(const QPoint &globalPos);
    // The row's sound played to its end.
    void ended();

private slots:
    void mpStateChaned(SoundPlayer::State state);

public slots:
    void play();
    void stop();

private:
    void prepare();
    // A short text right of the button; none when empty.
    void setStatusText(const QString &text, const QString &toolTip);

    SoundPlayer mediaPlayer;
    QStringList eventList;
    QLabel *status = nullptr;
    RingCheck *ringCheck = nullptr;
};
