#include "operator/rowmenu.h"

#include "alarm/alarmmodel.h"
#include "app/timeunits.h"

RowMenu::RowMenu(AlarmModel *alarms, int row, QWidget *parent)
    : QMenu(parent)
{
    setObjectName(QStringLiteral("RowMenu"));
    const bool critical = alarms->row(row).critical;
    const QList<QPair<QString, qint64>> shelves {
        {tr("Shelve for 15 min"), qint64(15) * MsPerMinute},
        {tr("Shelve for 1 h"), MsPerHour},
        {tr("Shelve for 8 h"), 8 * MsPerHour},
        {tr("Shelve until unshelved"), AlarmModel::UntilUnshelved},
    };
    for (const auto &shelf : shelves) {
        QAction *action = addAction(shelf.first, alarms, [alarms, row, ms = shelf.second] { alarms->shelve(row, ms); });
        action->setEnabled(!critical);
    }
    if (critical) {
        addSeparator();
        addAction(tr("A critical alarm cannot be shelved"))->setEnabled(false);
    }
    if (alarms->row(row).state == AlarmState::Shelved) {
        addSeparator();
        addAction(tr("Unshelve"), alarms, [alarms, row] { alarms->unshelve(row); });
    }
}
