#include "operator/alarmlist.h"

#include <QDateTime>

#include <algorithm>

#include "alarm/alarmmodel.h"
#include "log/logcolours.h"

namespace {

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

AlarmList::AlarmList(AlarmModel *alarms, QObject *parent)
    : QAbstractTableModel(parent)
    , alarms(alarms)
{
    connect(alarms, &AlarmModel::rowChanged, this, &AlarmList::follow);
}

int AlarmList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shown.size();
}

int AlarmList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AlarmList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shown.size())
        return QVariant();
    const AlarmRow &alarm = alarms->row(shown.at(index.row()));
    if (role == Qt::ForegroundRole)
        return colour(alarm);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case StateColumn:
        return stateText(alarm);
    case EventsColumn:
        return alarm.name;
    case SenderColumn:
        return alarm.sender;
    case FirstColumn:
        return timeText(alarm.firstMs);
    case LastColumn:
        return timeText(alarm.lastMs);
    case CountColumn:
        return alarm.count;
    }
    return QVariant();
}

QVariant AlarmList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case StateColumn:
        return tr("State");
    case EventsColumn:
        return tr("Events");
    case SenderColumn:
        return tr("Sender");
    case FirstColumn:
        return tr("First");
    case LastColumn:
        return tr("Last");
    case CountColumn:
        return tr("Count");
    }
    return QVariant();
}

void AlarmList::acknowledge(const QList<int> &lines)
{
    QVector<int> rows;
    for (int line : lines) {
        if (line >= 0 && line < shown.size())
            rows.append(shown.at(line));
    }
    for (int row : qAsConst(rows))
        alarms->acknowledge(row, Acknowledgement::here());
}

void AlarmList::acknowledgeAll()
{
    alarms->acknowledgeAll(Acknowledgement::here(AlarmCause::AcknowledgeAll));
}

QString AlarmList::stateText(const AlarmRow &alarm)
{
    switch (alarm.state) {
    case AlarmState::Shelved:
        return tr("shelved");
    case AlarmState::Ringing:
        return alarm.notHeard ? tr("not heard") : tr("ringing");
    case AlarmState::Unacknowledged:
        if (alarm.notHeard)
            return tr("not heard");
        return alarm.quietEvents > 0 ? tr("held while muted") : tr("waiting for acknowledgement");
    case AlarmState::Normal:
    case AlarmState::Acknowledged:
        break;
    }
    return tr("acknowledged");
}

QVariant AlarmList::colour(const AlarmRow &alarm)
{
    if (alarm.state == AlarmState::Shelved || (alarm.state == AlarmState::Unacknowledged && alarm.quietEvents > 0 && !alarm.notHeard))
        return LogColours::Quiet;
    return alarm.unacknowledged() ? QVariant(LogColours::Failure) : QVariant();
}

// A row is shown from its first event until it is normal again.
void AlarmList::follow(const AlarmTransition &transition)
{
    removeNormal();
    const int row = transition.row;
    if (alarms->row(row).count > 0 && !shown.contains(row)) {
        beginInsertRows(QModelIndex(), shown.size(), shown.size());
        shown.append(row);
        endInsertRows();
    }
    const int line = int(shown.indexOf(row));
    if (line >= 0)
        emit dataChanged(index(line, 0), index(line, ColumnCount - 1));
    arrange();
}

void AlarmList::removeNormal()
{
    for (int line = shown.size() - 1; line >= 0; --line) {
        if (alarms->row(shown.at(line)).count == 0) {
            beginRemoveRows(QModelIndex(), line, line);
            shown.removeAt(line);
            endRemoveRows();
        }
    }
}

void AlarmList::arrange()
{
    QVector<int> ordered = shown;
    std::stable_sort(ordered.begin(), ordered.end(), [this](int row, int other) { return comesFirst(row, other); });
    if (ordered == shown)
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QVector<int> rowsBefore;
    for (const QModelIndex &index : before)
        rowsBefore.append(shown.at(index.row()));
    shown = ordered;
    for (int i = 0; i < before.size(); ++i)
        changePersistentIndex(before.at(i), index(int(shown.indexOf(rowsBefore.at(i))), before.at(i).column()));
    emit layoutChanged();
}

bool AlarmList::comesFirst(int row, int other) const
{
    const AlarmRow &a = alarms->row(row);
    const AlarmRow &b = alarms->row(other);
    if (a.unacknowledged() != b.unacknowledged())
        return a.unacknowledged();
    return a.lastMs > b.lastMs;
}
