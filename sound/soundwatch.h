#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>

#include "sound/soundoutput.h"

class AlarmModel;

// Whether Velmar's sounds can be heard: the one place that knows the state of the sound
// output. It writes the output's lines (found, lost, back) and tells the alarm model when the
// output is lost and back, so that a ring meanwhile is not heard and rings again later.
class SoundWatch : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SoundWatch)

public:
    SoundWatch(AlarmModel *alarms, QObject *parent);

    const SoundOutput &output() const;
    // True unless the output is known to be gone; before the first finding a sound is tried.
    bool canBeHeard() const;
    // When the output went; invalid while it can be heard.
    QDateTime lostSince() const;

public slots:
    void setOutput(const SoundOutput &output);

signals:
    void outputChanged();
    void log(const QString &msg, const QColor &c);

private:
    void outputBack();

    AlarmModel *alarms;
    SoundOutput current;
    QDateTime since;
};
