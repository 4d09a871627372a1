#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QVector>

class AlarmModel;
struct AlarmRow;
struct AlarmTransition;

// What rang, as the alarm model keeps it: one line per sound row that matched an event since it
// was last normal, with its state, its events, the last sender, the first and the last time and
// the count. Unacknowledged lines come first, newest first within each group.
class AlarmList : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(AlarmList)

public:
    enum Column { StateColumn, EventsColumn, SenderColumn, FirstColumn, LastColumn, CountColumn, ColumnCount };

    explicit AlarmList(AlarmModel *alarms, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    // Acknowledges the alarms of these lines, as the row's own Ack does.
    void acknowledge(const QList<int> &lines);
    void acknowledgeAll();

private:
    static QString stateText(const AlarmRow &alarm);
    static QVariant colour(const AlarmRow &alarm);
    void follow(const AlarmTransition &transition);
    void removeNormal();
    // Puts the lines in their order and tells the views.
    void arrange();
    bool comesFirst(int row, int other) const;

    AlarmModel *alarms;
    // The sound rows shown, in the order of the lines.
    QVector<int> shown;
};
