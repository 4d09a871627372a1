#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

class AlarmModel;
class DeskLink;
class LinkStatus;
class QWidget;
struct AlarmEvent;
struct AlarmTransition;

// An icon in the desktop's system tray: it shows the link's state (and an alarm not heard as a
// link down), holds the last matching event in its tooltip, tells each matching event in a
// message (at most one a second, with the events folded in meanwhile counted) and each alarm
// not heard, and raises the main window when clicked.
class TrayNotifier : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TrayNotifier)

public:
    static constexpr int FoldMs = 1000;

    TrayNotifier(QWidget *window, LinkStatus *link, AlarmModel *alarms, int foldMs = FoldMs);

    const QSystemTrayIcon &icon() const;
    // Tells each peer desk that can no longer sound, and each that can again.
    void showDesks(DeskLink *desks);
    // Without its messages the icon still shows the link and the last event.
    void setMessagesShown(bool shown);

signals:
    // A message went to the desktop.
    void notified(const QString &message);

private:
    void eventTaken(const AlarmEvent &event);
    void rowChanged(const AlarmTransition &transition);
    void showLink();
    void showFolded();
    void notify(const QString &message, QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information);
    void activated(QSystemTrayIcon::ActivationReason reason);

    QWidget *window;
    LinkStatus *link;
    AlarmModel *alarms;
    QSystemTrayIcon tray;
    QString iconName;
    QTimer fold;
    QString lastEvent;
    int folded = 0;
    bool messagesShown = true;
};
