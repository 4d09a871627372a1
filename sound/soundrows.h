#pragma once

#include <QObject>
#include <QVector>

class AlarmModel;
class OncePerTurn;
class Sound;
struct Ring;

// The sound rows as the alarm model's players and views: each row plays and stops as the
// model asks and shows its alarm, each at most once per turn of the event loop, and tells the
// model of its button's clicks and of its plays that ended.
class SoundRows : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SoundRows)

public:
    SoundRows(AlarmModel *alarms, const QVector<Sound *> &rows, QObject *parent);

    // Follows every play to its end and tells the model of those that could not be heard.
    void checkRings();

private:
    void showLater(int row);
    // A burst of events asks for the same row many times; nobody can hear a sound restarted a
    // thousand times a second, so the row starts once, when the burst has been handled.
    void start(const Ring &ring);
    void stop(int row);
    void catchUp();

    AlarmModel *alarms;
    const QVector<Sound *> rows;
    QVector<bool> playPending;
    QVector<bool> showPending;
    OncePerTurn *pending;
};
