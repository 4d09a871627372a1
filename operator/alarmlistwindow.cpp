#include "operator/alarmlistwindow.h"

#include <QHeaderView>

#include "operator/alarmlist.h"

AlarmListWindow::AlarmListWindow(AlarmList *list, QWidget *parent)
    : QFrame(parent)
    , list(list)
{
    setupUi(this);
    sorted.setSourceModel(list);
    AlarmsV->setModel(&sorted);
    // No sort column: the list's own order, unacknowledged lines first, until a header is clicked.
    AlarmsV->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    AlarmsV->setSortingEnabled(true);
    AlarmsV->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    AlarmsV->horizontalHeader()->setSectionResizeMode(AlarmList::EventsColumn, QHeaderView::Stretch);
    connect(AckB, &QPushButton::clicked, this, &AlarmListWindow::acknowledgeSelected);
    connect(AckAllB, &QPushButton::clicked, list, &AlarmList::acknowledgeAll);
}

void AlarmListWindow::acknowledgeSelected()
{
    QList<int> lines;
    const QModelIndexList selected = AlarmsV->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        lines.append(sorted.mapToSource(index).row());
    list->acknowledge(lines);
}
