#pragma once

#include <QString>

#include "alarm/alarmcause.h"

// Who acknowledged an alarm, where and how: the operator of this desk by a button, a list or
// Silence, or the operator of a peer desk.
struct Acknowledgement
{
    AlarmCause cause = AlarmCause::Acknowledge;
    // user@host
    QString who;
    // The peer desk's node name; empty for this desk.
    QString desk;

    // An acknowledgement by the operator of this desk.
    static Acknowledgement here(AlarmCause cause = AlarmCause::Acknowledge);
};

// The operator of this desk as user@host, from the session's user name and the machine's name.
QString localOperator();
