#pragma once

#include <QString>
#include <QtGlobal>

// A duration as hours:minutes:seconds, "00:03:12"; the hours go past 24 when they must.
QString durationText(qint64 ms);
