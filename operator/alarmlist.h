#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

class Horn;

// What rang since start, one line per sound row that matched an event: its state, its events,
// the last sender, the first and the last time and the count. Unacknowledged lines come first,
// newest first within each group; an acknowledged line leaves when its row has had no event
// for the keep time. The states come from the horn's decisions, so this runs without widgets.
class AlarmList : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(AlarmList)

public:
    enum Column { StateColumn, EventsColumn, SenderColumn, FirstColumn, LastColumn, CountColumn, ColumnCount };
    enum class State { Ringing, WaitingForAck, HeldWhileMuted, NotHeard, Shelved, Acknowledged };
    // Milliseconds since the epoch.
    using Clock = std::function<qint64()>;

    AlarmList(Horn *horn, const QStringList &rowNames, int keepMs, QObject *parent = nullptr,
              Clock clock = Clock());

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    // After the horn has decided on the event.
    void eventMatched(int row, const QString &sender);
    // The row's sound played to its end, or it was not heard.
    void rowEnded(int row);
    void rowNotHeard(int row);
    // Does what the row's own Ack does, for the rows of these lines.
    void acknowledge(const QList<int> &lines);
    void acknowledgeAll();
    void removeExpired();

private:
    struct Line
    {
        int row = 0;
        QString sender;
        qint64 firstMs = 0;
        qint64 lastMs = 0;
        int count = 0;
        bool acknowledged = false;
        bool held = false;
    };

    State state(int line) const;
    static QString stateText(State state);
    void rowStarted(int row);
    void rowStopped(int row);
    void rowAcknowledged(int row);
    Line *lineOf(int row);
    bool standing(const Line &line) const;
    // Puts the lines in their order and tells the views.
    void arrange();

    Horn *horn;
    const QStringList names;
    const int keepMs;
    const Clock clock;
    QVector<Line> lines;
    // By sound row: its sound plays now; its last play was not heard.
    QVector<bool> ringing;
    QVector<bool> notHeard;
    QTimer expiry;
};
