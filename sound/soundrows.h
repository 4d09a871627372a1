#pragma once

#include <QObject>
#include <QVector>

class AlarmModel;
class Sound;
struct Ring;

// The sound rows as the alarm model's players and views: each row plays and stops as the
// model asks, at most once per turn of the event loop, shows its alarm, and tells the model of
// its button's clicks and of its plays that ended.
class SoundRows : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SoundRows)

public:
    SoundRows(AlarmModel *alarms, const QVector<Sound *> &rows, QObject *parent);

    // Follows every play to its end and tells the model of those that could not be heard.
    void checkRings();

private:
    void show(int row);
    // A burst of events asks for the same row many times; nobody can hear a sound restarted a
    // thousand times a second, so the row starts once, when the burst has been handled.
    void start(const Ring &ring);
    void stop(int row);
    void playPending();

    AlarmModel *alarms;
    const QVector<Sound *> rows;
    QVector<bool> pending;
    bool playScheduled = false;
};
