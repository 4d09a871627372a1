#include "operator/traynotifier.h"

#include <QDateTime>
#include <QWidget>

#include "operator/linkstatus.h"

// The icons live in the static core library, whose resources the linker drops unless named.
static void initIcons()
{
    Q_INIT_RESOURCE(operatoricons);
}

TrayNotifier::TrayNotifier(QWidget *window, LinkStatus *link, int foldMs)
    : QObject(window)
    , window(window)
    , link(link)
{
    initIcons();
    fold.setSingleShot(true);
    fold.setInterval(foldMs);
    connect(&fold, &QTimer::timeout, this, &TrayNotifier::showFolded);
    connect(link, &LinkStatus::changed, this, &TrayNotifier::showLink);
    connect(&tray, &QSystemTrayIcon::activated, this, &TrayNotifier::activated);
    showLink();
    tray.setToolTip(window->windowTitle());
    tray.show();
}

const QSystemTrayIcon &TrayNotifier::icon() const
{
    return tray;
}

void TrayNotifier::eventMatched(const QString &sender, const QString &event)
{
    lastEvent = QStringLiteral("%1: %2").arg(sender, event);
    tray.setToolTip(lastEvent + QLatin1Char(' ') + QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    if (fold.isActive()) {
        ++folded;
        return;
    }
    notify(lastEvent);
}

// Events that came within a second of the last message go out together, in one message.
void TrayNotifier::showFolded()
{
    if (folded == 0)
        return;
    notify(folded == 1 ? lastEvent : tr("%1 (and %2 more)").arg(lastEvent).arg(folded - 1));
}

void TrayNotifier::notify(const QString &message)
{
    folded = 0;
    fold.start();
    tray.showMessage(window->windowTitle(), message);
    emit notified(message);
}

void TrayNotifier::soundNotHeard(const QString &sender, const QString &event)
{
    notHeard = true;
    showLink();
    const QString message = tr("Alarm not heard: %1 %2").arg(sender, event);
    tray.setToolTip(message);
    tray.showMessage(window->windowTitle(), message, QSystemTrayIcon::Critical);
    emit notified(message);
}

void TrayNotifier::soundHeard()
{
    notHeard = false;
    showLink();
}

void TrayNotifier::showLink()
{
    const char *icon = ":/operator/link-connecting.png";
    if (link->state() == LinkState::Down || notHeard)
        icon = ":/operator/link-down.png";
    else if (link->state() == LinkState::LoggedIn)
        icon = ":/operator/link-up.png";
    tray.setIcon(QIcon(QLatin1String(icon)));
}

void TrayNotifier::activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    window->showNormal();
    window->raise();
    window->activateWindow();
}
