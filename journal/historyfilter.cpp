#include "journal/historyfilter.h"

#include <QSqlDatabase>
#include <QVariant>

namespace {

// The time index gives the range and the order; the kinds come as one list ",event,alarm,",
// so that the statement stays one and the same. An empty text is the pattern %%, which every
// entry matches.
const QString Select = QStringLiteral(
    "SELECT at_ms, kind, row, sender, event, text, state, operator, desk FROM entries "
    "WHERE at_ms >= ? AND at_ms <= ? AND instr(?, ',' || kind || ',') > 0 "
    "AND (row LIKE ? ESCAPE '\\' OR sender LIKE ? ESCAPE '\\' OR event LIKE ? ESCAPE '\\') "
    "ORDER BY at_ms DESC, id DESC");

// The text as a LIKE pattern that finds it anywhere, its own % and _ taken literally.
QString containing(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    text.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + text + QLatin1Char('%');
}

} // namespace

QSqlQuery HistoryFilter::query(const QSqlDatabase &db) const
{
    QSqlQuery query(db);
    query.prepare(Select);
    const QString pattern = containing(text);
    const QVariantList values = { fromMs, toMs, QLatin1Char(',') + kinds.join(QLatin1Char(',')) + QLatin1Char(','),
                                  pattern, pattern, pattern };
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return query;
}
