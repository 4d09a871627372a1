#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QSqlDatabase;

// Which entries of the journal the history shows: those of a time range whose row, sender or
// event contains a text, of the kinds chosen.
struct HistoryFilter
{
    // The columns of the query, in their order.
    enum Column { At, Kind, Row, Sender, Event, Text, State, Operator, Desk, ColumnCount };

    // Milliseconds since the epoch, both included.
    qint64 fromMs = 0;
    qint64 toMs = 0;
    // Any case; empty for every entry.
    QString text;
    // Kind words, "event", "alarm", ...
    QStringList kinds;

    // The entries that pass, newest first, ready to be run.
    QSqlQuery query(const QSqlDatabase &db) const;
};
