#include "operator/rowmenu.h"

#include "app/timeunits.h"
#include "operator/horn.h"

RowMenu::RowMenu(Horn *horn, int row, QWidget *parent)
    : QMenu(parent)
{
    setObjectName(QStringLiteral("RowMenu"));
    const bool critical = horn->isCritical(row);
    const QList<QPair<QString, qint64>> shelves {
        {tr("Shelve for 15 min"), qint64(15) * MsPerMinute},
        {tr("Shelve for 1 h"), MsPerHour},
        {tr("Shelve for 8 h"), 8 * MsPerHour},
        {tr("Shelve until unshelved"), Shelves::UntilUnshelved},
    };
    for (const auto &shelf : shelves) {
        QAction *action = addAction(shelf.first, horn, [horn, row, ms = shelf.second] { horn->shelve(row, ms); });
        action->setEnabled(!critical);
    }
    if (critical) {
        addSeparator();
        addAction(tr("A critical alarm cannot be shelved"))->setEnabled(false);
    }
    if (horn->shelves().isShelved(row)) {
        addSeparator();
        addAction(tr("Unshelve"), horn, [horn, row] { horn->unshelve(row); });
    }
}
