#include "operator/alarmlist.h"

#include <QDateTime>

#include <algorithm>

#include "app/timeunits.h"
#include "log/logcolours.h"
#include "operator/horn.h"

namespace {

// How often acknowledged lines are checked for their keep time.
constexpr int ExpiryCheckMs = MsPerMinute;

qint64 wallMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

AlarmList::AlarmList(Horn *horn, const QStringList &rowNames, int keepMs, QObject *parent, Clock clock)
    : QAbstractTableModel(parent)
    , horn(horn)
    , names(rowNames)
    , keepMs(keepMs)
    , clock(clock ? clock : Clock(wallMs))
    , ringing(rowNames.size())
    , notHeard(rowNames.size())
{
    connect(horn, &Horn::startRow, this, &AlarmList::rowStarted);
    connect(horn, &Horn::stopRow, this, &AlarmList::rowStopped);
    connect(horn, &Horn::waitingForAck, this, [this](int row, bool waiting) {
        if (!waiting)
            rowAcknowledged(row);
    });
    // Shelving acknowledges the row.
    connect(horn, &Horn::shelvedChanged, this, [this](int row, bool shelved) {
        if (shelved)
            rowAcknowledged(row);
        else
            arrange();
    });
    expiry.setInterval(ExpiryCheckMs);
    connect(&expiry, &QTimer::timeout, this, &AlarmList::removeExpired);
    expiry.start();
}

int AlarmList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : lines.size();
}

int AlarmList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AlarmList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= lines.size())
        return QVariant();
    const Line &line = lines.at(index.row());
    if (role == Qt::ForegroundRole) {
        switch (state(index.row())) {
        case State::Ringing:
        case State::WaitingForAck:
        case State::NotHeard:
            return LogColours::Failure;
        case State::HeldWhileMuted:
        case State::Shelved:
            return LogColours::Quiet;
        case State::Acknowledged:
            return QVariant();
        }
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case StateColumn:
        return stateText(state(index.row()));
    case EventsColumn:
        return names.at(line.row);
    case SenderColumn:
        return line.sender;
    case FirstColumn:
        return timeText(line.firstMs);
    case LastColumn:
        return timeText(line.lastMs);
    case CountColumn:
        return line.count;
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

AlarmList::State AlarmList::state(int line) const
{
    const Line &l = lines.at(line);
    if (horn->shelves().isShelved(l.row))
        return State::Shelved;
    if (l.acknowledged)
        return State::Acknowledged;
    if (notHeard.at(l.row))
        return State::NotHeard;
    if (ringing.at(l.row))
        return State::Ringing;
    return l.held ? State::HeldWhileMuted : State::WaitingForAck;
}

QString AlarmList::stateText(State state)
{
    switch (state) {
    case State::Ringing:
        return tr("ringing");
    case State::WaitingForAck:
        return tr("waiting for acknowledgement");
    case State::HeldWhileMuted:
        return tr("held while muted");
    case State::NotHeard:
        return tr("not heard");
    case State::Shelved:
        return tr("shelved");
    case State::Acknowledged:
        break;
    }
    return tr("acknowledged");
}

// A shelved row's events are acknowledged by its shelf; one that rang nothing because the
// horn was quiet is held.
void AlarmList::eventMatched(int row, const QString &sender)
{
    Line *line = lineOf(row);
    if (!line) {
        beginInsertRows(QModelIndex(), lines.size(), lines.size());
        lines.append(Line {row, sender, clock()});
        endInsertRows();
        line = &lines.last();
    }
    const bool shelved = horn->shelves().isShelved(row);
    line->sender = sender;
    line->lastMs = clock();
    ++line->count;
    line->acknowledged = shelved;
    line->held = line->held || (!shelved && horn->quiet() != Horn::Quiet::Off && !horn->isCritical(row));
    arrange();
}

void AlarmList::rowEnded(int row)
{
    ringing[row] = false;
    arrange();
}

void AlarmList::rowNotHeard(int row)
{
    notHeard[row] = true;
    arrange();
}

void AlarmList::acknowledge(const QList<int> &selected)
{
    QVector<int> rows;
    for (int line : selected) {
        if (line >= 0 && line < lines.size())
            rows.append(lines.at(line).row);
    }
    for (int row : qAsConst(rows)) {
        horn->acknowledgeRow(row);
        rowAcknowledged(row);
    }
}

void AlarmList::acknowledgeAll()
{
    QList<int> all;
    for (int line = 0; line < lines.size(); ++line)
        all.append(line);
    acknowledge(all);
}

void AlarmList::removeExpired()
{
    for (int line = lines.size() - 1; line >= 0; --line) {
        if (!standing(lines.at(line)) && clock() - lines.at(line).lastMs >= keepMs) {
            beginRemoveRows(QModelIndex(), line, line);
            lines.removeAt(line);
            endRemoveRows();
        }
    }
}

void AlarmList::rowStarted(int row)
{
    ringing[row] = true;
    notHeard[row] = false;
    if (Line *line = lineOf(row))
        line->held = false;
    arrange();
}

void AlarmList::rowStopped(int row)
{
    ringing[row] = false;
    arrange();
}

void AlarmList::rowAcknowledged(int row)
{
    Line *line = lineOf(row);
    if (!line)
        return;
    line->acknowledged = true;
    line->held = false;
    arrange();
}

AlarmList::Line *AlarmList::lineOf(int row)
{
    const auto it = std::find_if(lines.begin(), lines.end(), [row](const Line &line) { return line.row == row; });
    return it == lines.end() ? nullptr : &*it;
}

bool AlarmList::standing(const Line &line) const
{
    return !line.acknowledged && !horn->shelves().isShelved(line.row);
}

void AlarmList::arrange()
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QVector<int> rowsBefore;
    for (const QModelIndex &index : before)
        rowsBefore.append(lines.at(index.row()).row);
    std::stable_sort(lines.begin(), lines.end(), [this](const Line &a, const Line &b) {
        if (standing(a) != standing(b))
            return standing(a);
        return a.lastMs > b.lastMs;
    });
    for (int i = 0; i < before.size(); ++i) {
        const int line = int(std::find_if(lines.cbegin(), lines.cend(), [&](const Line &l) { return l.row == rowsBefore.at(i); })
                             - lines.cbegin());
        changePersistentIndex(before.at(i), index(line, before.at(i).column()));
    }
    emit layoutChanged();
}
