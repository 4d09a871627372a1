#pragma once

#include <QString>
#include <QtGlobal>

#include <limits>

// The local date and time that begins a log line, "yy/MM/dd hh:mm:ss.zzz: ".
class LineStamp
{
public:
    QString now();

private:
    qint64 second = std::numeric_limits<qint64>::min();
    QString upToSecond;
};
