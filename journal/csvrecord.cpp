#include "journal/csvrecord.h"

#include <algorithm>

namespace {

const QString FormulaStarts = QStringLiteral("=+-@\t\r");
const QString NeedsQuotes = QStringLiteral(",\"\r\n");

QString csvCell(QString cell)
{
    if (!cell.isEmpty() && FormulaStarts.contains(cell.at(0)))
        cell.prepend(QLatin1Char('\''));
    const bool quoted = std::any_of(cell.cbegin(), cell.cend(), [](QChar c) { return NeedsQuotes.contains(c); });
    if (!quoted)
        return cell;
    cell.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + cell + QLatin1Char('"');
}

} // namespace

QByteArray csvRecord(const QStringList &cells)
{
    QStringList quoted;
    for (const QString &cell : cells)
        quoted << csvCell(cell);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}
