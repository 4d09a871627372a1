#pragma once

#include <QFrame>
#include <QSortFilterProxyModel>

#include "operator/ui_alarmlistwindow.h"

class AlarmList;

// The alarm list's window, a top-level window of its own: the lines, sortable by any column
// (in the list's own order until a header is clicked), and Ack for the selected lines and
// Ack all for every line.
class AlarmListWindow : public QFrame, private Ui_AlarmListWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(AlarmListWindow)

public:
    explicit AlarmListWindow(AlarmList *list, QWidget *parent = nullptr);

private:
    void acknowledgeSelected();

    AlarmList *list;
    QSortFilterProxyModel sorted;
};
