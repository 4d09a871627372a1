#pragma once

#include <QMenu>

class Horn;

// The menu of one sound row: shelve it for a while or until unshelved, or unshelve it. A
// critical row's menu says why it cannot be shelved.
class RowMenu : public QMenu
{
    Q_OBJECT
    Q_DISABLE_COPY(RowMenu)

public:
    RowMenu(Horn *horn, int row, QWidget *parent);
};
