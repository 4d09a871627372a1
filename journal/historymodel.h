#pragma once

#include <QSqlQueryModel>
#include <QString>
#include <QVariant>

struct HistoryFilter;
class QSqlDatabase;

// The journal's entries that a filter lets through, newest first, as a table: fetched a page
// at a time as the view scrolls, the time shown as local time with milliseconds.
class HistoryModel : public QSqlQueryModel
{
    Q_OBJECT
    Q_DISABLE_COPY(HistoryModel)

public:
    explicit HistoryModel(QObject *parent = nullptr);

    // Runs the filter's query on `db`; the error text when it fails, empty otherwise.
    QString show(const QSqlDatabase &db, const HistoryFilter &filter);
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A value of the filter's query as the table shows it.
    static QString cellText(int column, const QVariant &value);
    static QStringList headers();
};
