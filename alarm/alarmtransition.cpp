#include "alarm/alarmtransition.h"

QString AlarmTransition::traceLine() const
{
    return QStringLiteral("[%1] %2 -> %3: %4 %5 (%6)")
        .arg(rowName, before.text(), after.text(), sender, event, causeText());
}

QString AlarmTransition::causeText() const
{
    QString text = alarmCauseWord(cause);
    if (cause == AlarmCause::NotHeard)
        text += QStringLiteral(": ") + reason;
    if (!who.isEmpty())
        text += QStringLiteral(" by ") + who;
    if (!desk.isEmpty())
        text += QStringLiteral(" at ") + desk;
    return text;
}
