#pragma once

#include <QObject>
#include <QVector>

#include <memory>

#include "operator/operatorsettings.h"

class AlarmList;
class AlarmListWindow;
class AlarmModel;
class DeskLink;
class LinkStatus;
class OperatorBar;
class Sound;
class SoundWatch;
class Stars;
class TrayNotifier;
class QWidget;

// The operator's views of the alarm model that the keys ask for: the bar below the rows with
// the rows' menus, the alarm list's window and the tray icon. They show the model and ask it
// to change; none keeps alarm state of its own.
class OperatorViews : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(OperatorViews)

public:
    OperatorViews(const OperatorSettings &settings, AlarmModel *alarms, const QVector<Sound *> &rows, Stars *stars,
                  QWidget *window);
    ~OperatorViews() override;

    // The bar for the main window's layout; null when it is not wanted.
    OperatorBar *bar() const;
    // The alarm list's top-level window; null when it is not wanted.
    QWidget *alarmWindow() const;
    // The tray icon; null when it is not wanted or the desktop has no tray.
    TrayNotifier *tray() const;
    // The bar shows what the watch finds about the sound.
    void watchSound(SoundWatch *watch);
    // The bar and the tray tell which peer desks cannot sound.
    void watchDesks(DeskLink *desks);

private:
    void offerMenus(const QVector<Sound *> &rows);

    AlarmModel *alarms;
    LinkStatus *link = nullptr;
    OperatorBar *operatorBar = nullptr;
    std::unique_ptr<AlarmListWindow> alarmListWindow;
    TrayNotifier *trayNotifier = nullptr;
};
