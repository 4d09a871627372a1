#pragma once

#include <QMenu>

class AlarmModel;

// The menu of one sound row: shelve it for a while or until unshelved, or unshelve it. A
// critical row's menu says why it cannot be shelved.
class RowMenu : public QMenu
{
    Q_OBJECT
    Q_DISABLE_COPY(RowMenu)

public:
    RowMenu(AlarmModel *alarms, int row, QWidget *parent);
};
