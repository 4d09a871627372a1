#include "sound/soundwatch.h"

#include "alarm/alarmmodel.h"
#include "app/durationtext.h"
#include "log/logcolours.h"

SoundWatch::SoundWatch(AlarmModel *alarms, QObject *parent)
    : QObject(parent)
    , alarms(alarms)
{
}

const SoundOutput &SoundWatch::output() const
{
    return current;
}

bool SoundWatch::canBeHeard() const
{
    return current.state != SoundOutput::State::Lost;
}

QDateTime SoundWatch::lostSince() const
{
    return canBeHeard() ? QDateTime() : since;
}

// One line per change between heard and not heard; a new device while one can be heard is
// named too, but another reason while none can is not worth a line.
void SoundWatch::setOutput(const SoundOutput &output)
{
    if (output == current || output.state == SoundOutput::State::Unknown)
        return;
    const SoundOutput previous = current;
    current = output;
    if (output.state == SoundOutput::State::Lost) {
        if (previous.state != SoundOutput::State::Lost) {
            since = QDateTime::currentDateTime();
            emit log(QStringLiteral("Sound output lost: %1").arg(output.text), LogColours::Failure);
            alarms->soundLost(output.text);
        }
    } else if (previous.state == SoundOutput::State::Lost) {
        outputBack();
    } else {
        emit log(QStringLiteral("Sound output: %1").arg(output.text), LogColours::Notice);
    }
    emit outputChanged();
}

// The alarms not heard meanwhile ring again, which only asks for their sounds, and the line
// says how many did.
void SoundWatch::outputBack()
{
    const int rung = alarms->soundBack();
    QString line = QStringLiteral("Sound output is back after %1").arg(durationText(since.msecsTo(QDateTime::currentDateTime())));
    if (rung > 0)
        line += QStringLiteral("; ringing %1 %2 not heard meanwhile").arg(rung).arg(rung == 1 ? QStringLiteral("alarm") : QStringLiteral("alarms"));
    emit log(line, LogColours::Recovery);
}
