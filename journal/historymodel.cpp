#include "journal/historymodel.h"

#include <QDateTime>
#include <QSqlError>

#include "journal/historyfilter.h"

HistoryModel::HistoryModel(QObject *parent)
    : QSqlQueryModel(parent)
{
}

QString HistoryModel::show(const QSqlDatabase &db, const HistoryFilter &filter)
{
    QSqlQuery query = filter.query(db);
    query.exec();
    setQuery(std::move(query));
    return lastError().isValid() ? lastError().text() : QString();
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    const QVariant value = QSqlQueryModel::data(index, role);
    return role == Qt::DisplayRole ? QVariant(cellText(index.column(), value)) : value;
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers().value(section);
    return QSqlQueryModel::headerData(section, orientation, role);
}

QString HistoryModel::cellText(int column, const QVariant &value)
{
    if (column != HistoryFilter::At)
        return value.toString();
    return QDateTime::fromMSecsSinceEpoch(value.toLongLong()).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QStringList HistoryModel::headers()
{
    return {tr("Time"), tr("Kind"), tr("Row"), tr("Sender"), tr("Event"), tr("Text"), tr("State"), tr("Operator"), tr("Desk")};
}
