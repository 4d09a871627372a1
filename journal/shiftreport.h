#pragma once

#include <QString>
#include <QtGlobal>

class QSqlDatabase;

// The shift report of a time range as an HTML page, from the journal: the alarms still
// unacknowledged and the rows shelved at its end (with when each shelf ends), the events per
// row and per sender, how long each alarm waited for its acknowledgement and who gave it, the
// link and sound outages with their lengths, and the operator's actions.
QString shiftReportHtml(const QSqlDatabase &db, qint64 fromMs, qint64 toMs);
