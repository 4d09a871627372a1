#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include "alarm/alarmrow.h"

// What the journal found when it was opened: the alarms that stood for the configured rows,
// the rows with a standing alarm that the configuration no longer has, and when the last
// entry was written (0: never).
struct JournalOpening
{
    QVector<AlarmRow> standing;
    QStringList gone;
    qint64 lastMs = 0;
};
