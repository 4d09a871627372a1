#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

class LinkStatus;
class QWidget;

// An icon in the desktop's system tray: it shows the link's state, holds the last matching
// event in its tooltip, tells each matching event in a message (at most one a second, with the
// events folded in meanwhile counted), and raises the main window when clicked.
class TrayNotifier : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TrayNotifier)

public:
    static constexpr int FoldMs = 1000;

    TrayNotifier(QWidget *window, LinkStatus *link, int foldMs = FoldMs);

    const QSystemTrayIcon &icon() const;

public slots:
    void eventMatched(const QString &sender, const QString &event);
    // An alarm that could not be heard turns the icon red until `soundHeard`.
    void soundNotHeard(const QString &sender, const QString &event);
    void soundHeard();

signals:
    // A message went to the desktop.
    void notified(const QString &message);

private:
    void showLink();
    void showFolded();
    void notify(const QString &message);
    void activated(QSystemTrayIcon::ActivationReason reason);

    QWidget *window;
    LinkStatus *link;
    QSystemTrayIcon tray;
    QTimer fold;
    QString lastEvent;
    int folded = 0;
    bool notHeard = false;
};
