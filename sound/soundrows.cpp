#include "sound/soundrows.h"

#include "alarm/alarmmodel.h"
#include "sound/ringcheck.h"
#include "sound/sound.h"

SoundRows::SoundRows(AlarmModel *alarms, const QVector<Sound *> &rows, QObject *parent)
    : QObject(parent)
    , alarms(alarms)
    , rows(rows)
    , pending(rows.size())
{
    for (int i = 0; i < rows.size(); ++i) {
        Sound *row = rows.at(i);
        row->handOverButton();
        connect(row, &Sound::buttonClicked, alarms, [alarms, i] { alarms->click(i); });
        connect(row, &Sound::ended, alarms, [alarms, i] { alarms->played(i); });
        show(i);
    }
    connect(alarms, &AlarmModel::rowChanged, this, [this](const AlarmTransition &transition) { show(transition.row); });
    connect(alarms, &AlarmModel::startRow, this, &SoundRows::start);
    connect(alarms, &AlarmModel::stopRow, this, &SoundRows::stop);
}

void SoundRows::checkRings()
{
    for (int i = 0; i < rows.size(); ++i) {
        connect(rows.at(i)->checkRings(), &RingCheck::notHeard, alarms,
                [this, i](const QString &reason) { alarms->notHeard(i, reason); });
    }
}

void SoundRows::show(int row)
{
    rows.at(row)->showAlarm(alarms->row(row), alarms->repeatsUntilAcknowledged());
}

void SoundRows::start(const Ring &ring)
{
    pending[ring.row] = true;
    if (playScheduled)
        return;
    playScheduled = true;
    QMetaObject::invokeMethod(this, &SoundRows::playPending, Qt::QueuedConnection);
}

void SoundRows::stop(int row)
{
    pending[row] = false;
    rows.at(row)->stop();
}

void SoundRows::playPending()
{
    playScheduled = false;
    for (int row = 0; row < rows.size(); ++row) {
        if (pending.at(row)) {
            pending[row] = false;
            rows.at(row)->play();
        }
    }
}
