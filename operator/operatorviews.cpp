#include "operator/operatorviews.h"

#include <QLoggingCategory>

#include "operator/alarmlist.h"
#include "operator/alarmlistwindow.h"
#include "operator/linkstatus.h"
#include "operator/operatorbar.h"
#include "operator/rowmenu.h"
#include "operator/traynotifier.h"
#include "sound/sound.h"

Q_LOGGING_CATEGORY(lcOperator, "velmar.operator")

OperatorViews::OperatorViews(const OperatorSettings &settings, AlarmModel *alarms, const QVector<Sound *> &rows,
                             Stars *stars, QWidget *window)
    : QObject(window)
    , alarms(alarms)
{
    if (settings.bar || settings.tray)
        link = new LinkStatus(stars, this);
    if (settings.bar) {
        operatorBar = new OperatorBar(alarms, link);
        offerMenus(rows);
    }
    if (settings.alarmList)
        alarmListWindow = std::make_unique<AlarmListWindow>(new AlarmList(alarms, this));
    if (!settings.tray)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCDebug(lcOperator) << "no system tray on this desktop: no tray icon";
        return;
    }
    trayNotifier = new TrayNotifier(window, link, alarms);
}

OperatorViews::~OperatorViews() = default;

OperatorBar *OperatorViews::bar() const
{
    return operatorBar;
}

QWidget *OperatorViews::alarmWindow() const
{
    return alarmListWindow.get();
}

TrayNotifier *OperatorViews::tray() const
{
    return trayNotifier;
}

void OperatorViews::watchSound(SoundWatch *watch)
{
    if (operatorBar)
        operatorBar->showSound(watch);
}

void OperatorViews::watchDesks(DeskLink *desks)
{
    if (operatorBar)
        operatorBar->showDesks(desks);
    if (trayNotifier)
        trayNotifier->showDesks(desks);
}

void OperatorViews::offerMenus(const QVector<Sound *> &rows)
{
    for (int i = 0; i < rows.size(); ++i) {
        Sound *row = rows.at(i);
        row->offerMenu();
        connect(row, &Sound::menuRequested, this, [this, row, i](const QPoint &globalPos) {
            auto *menu = new RowMenu(alarms, i, row);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(globalPos);
        });
    }
}
