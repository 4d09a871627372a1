#include "sound/soundrows.h"

#include "alarm/alarmmodel.h"
#include "app/onceperturn.h"
#include "sound/ringcheck.h"
#include "sound/sound.h"

SoundRows::SoundRows(AlarmModel *alarms, const QVector<Sound *> &rows, QObject *parent)
    : QObject(parent)
    , alarms(alarms)
    , rows(rows)
    , playPending(rows.size())
    , showPending(rows.size())
    , pending(new OncePerTurn([this] { catchUp(); }, this))
{
    for (int i = 0; i < rows.size(); ++i) {
        Sound *row = rows.at(i);
        row->handOverButton();
        connect(row, &Sound::buttonClicked, alarms, [alarms, i] { alarms->click(i); });
        connect(row, &Sound::ended, alarms, [alarms, i] { alarms->played(i); });
        rows.at(i)->showAlarm(alarms->row(i), alarms->repeatsUntilAcknowledged());
    }
    connect(alarms, &AlarmModel::rowChanged, this, [this](const AlarmTransition &transition) { showLater(transition.row); });
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

void SoundRows::showLater(int row)
{
    showPending[row] = true;
    pending->request();
}

void SoundRows::start(const Ring &ring)
{
    playPending[ring.row] = true;
    pending->request();
}

void SoundRows::stop(int row)
{
    playPending[row] = false;
    rows.at(row)->stop();
}

// The sounds first: what the rows show can wait for them.
void SoundRows::catchUp()
{
    for (int row = 0; row < rows.size(); ++row) {
        if (playPending.at(row)) {
            playPending[row] = false;
            rows.at(row)->play();
        }
    }
    for (int row = 0; row < rows.size(); ++row) {
        if (showPending.at(row)) {
            showPending[row] = false;
            rows.at(row)->showAlarm(alarms->row(row), alarms->repeatsUntilAcknowledged());
        }
    }
}
