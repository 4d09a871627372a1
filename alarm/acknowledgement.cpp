#include "alarm/acknowledgement.h"

#include <QSysInfo>

Acknowledgement Acknowledgement::here(AlarmCause cause)
{
    return {cause, localOperator(), QString()};
}

QString localOperator()
{
    static const QString name = [] {
        QString user = qEnvironmentVariable("USER");
        if (user.isEmpty())
            user = qEnvironmentVariable("LOGNAME", QStringLiteral("operator"));
        return user + QLatin1Char('@') + QSysInfo::machineHostName();
    }();
    return name;
}
