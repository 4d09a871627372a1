#include "operator/traynotifier.h"

#include <QDateTime>
#include <QWidget>

#include "alarm/alarmmodel.h"
#include "desks/desklink.h"
#include "desktop/raisewindow.h"
#include "operator/linkstatus.h"

// The icons live in the static core library, whose resources the linker drops unless named.
static void initIcons()
{
    Q_INIT_RESOURCE(operatoricons);
}

TrayNotifier::TrayNotifier(QWidget *window, LinkStatus *link, AlarmModel *alarms, int foldMs)
    : QObject(window)
    , window(window)
    , link(link)
    , alarms(alarms)
{
    initIcons();
    fold.setSingleShot(true);
    fold.setInterval(foldMs);
    connect(&fold, &QTimer::timeout, this, &TrayNotifier::showFolded);
    connect(link, &LinkStatus::changed, this, &TrayNotifier::showLink);
    connect(alarms, &AlarmModel::eventTaken, this, &TrayNotifier::eventTaken);
    connect(alarms, &AlarmModel::rowChanged, this, &TrayNotifier::rowChanged);
    connect(&tray, &QSystemTrayIcon::activated, this, &TrayNotifier::activated);
    showLink();
    tray.setToolTip(window->windowTitle());
    tray.show();
}

const QSystemTrayIcon &TrayNotifier::icon() const
{
    return tray;
}

// Not as an event's message, so that the events folded meanwhile are still told.
void TrayNotifier::showDesks(DeskLink *desks)
{
    connect(desks, &DeskLink::silentDesksChanged, this, [this, desks](const QString &desk) {
        notify(desks->soundText(desk), desks->silentDesks().contains(desk) ? QSystemTrayIcon::Warning : QSystemTrayIcon::NoIcon);
    });
}

void TrayNotifier::setMessagesShown(bool shown)
{
    messagesShown = shown;
}

void TrayNotifier::eventTaken(const AlarmEvent &event)
{
    if (event.rows.isEmpty())
        return;
    lastEvent = QStringLiteral("%1: %2").arg(event.sender, event.event);
    tray.setToolTip(lastEvent + QLatin1Char(' ') + QDateTime::fromMSecsSinceEpoch(event.atMs).toString(QStringLiteral("hh:mm:ss")));
    if (fold.isActive()) {
        ++folded;
        return;
    }
    notify(lastEvent);
}

// An alarm that could not be heard turns the icon red until no alarm is marked so.
void TrayNotifier::rowChanged(const AlarmTransition &transition)
{
    if (transition.before.notHeard != transition.after.notHeard)
        showLink();
    if (transition.cause != AlarmCause::NotHeard)
        return;
    const QString message = tr("Alarm not heard: %1 %2").arg(transition.sender, transition.event);
    tray.setToolTip(message);
    notify(message, QSystemTrayIcon::Critical);
}

// Events that came within a second of the last message go out together, in one message.
void TrayNotifier::showFolded()
{
    if (folded == 0)
        return;
    notify(folded == 1 ? lastEvent : tr("%1 (and %2 more)").arg(lastEvent).arg(folded - 1));
}

void TrayNotifier::notify(const QString &message, QSystemTrayIcon::MessageIcon icon)
{
    if (!messagesShown)
        return;
    if (icon == QSystemTrayIcon::Information) {
        folded = 0;
        fold.start();
    }
    tray.showMessage(window->windowTitle(), message, icon);
    emit notified(message);
}

void TrayNotifier::showLink()
{
    QString name = QStringLiteral(":/operator/link-connecting.png");
    if (link->state() == LinkState::Down || alarms->anyNotHeard())
        name = QStringLiteral(":/operator/link-down.png");
    else if (link->state() == LinkState::LoggedIn)
        name = QStringLiteral(":/operator/link-up.png");
    if (name == iconName)
        return;
    iconName = name;
    tray.setIcon(QIcon(name));
}

void TrayNotifier::activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        raiseWindow(window);
}
