#pragma once

#include <QColor>
#include <QObject>
#include <QVector>

#include <memory>

#include "operator/operatorsettings.h"

class AlarmList;
class AlarmListWindow;
class LinkStatus;
class OperatorBar;
class Sound;
class SoundWatch;
class Stars;
class TrayNotifier;
class QPoint;
class QWidget;

// The one door between the main window, its sound rows and the operator's features: builds
// the horn, the bar and the tray icon that the settings ask for, lets the horn decide when the
// rows ring and shows its decisions on them. The main window hands it every event and every
// row that matched.
class HornControl : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HornControl)

public:
    HornControl(const OperatorSettings &settings, const QVector<Sound *> &rows, Stars *stars, QWidget *window);
    ~HornControl() override;

    // The bar for the main window's layout; null when it is not wanted.
    OperatorBar *bar() const;
    // The alarm list's top-level window; null when it is not wanted.
    QWidget *alarmWindow() const;

    // The bar and the tray show what the watch finds about the sound.
    void watchSound(SoundWatch *watch);

    void eventReceived();
    // Rings the row, or lets the horn decide when a horn is wanted.
    void rowMatched(int row, const QString &sender, const QString &event);

signals:
    void log(const QString &msg, const QColor &c);
    // The link-loss alarm's current ring is to stop.
    void silenced();
    // The row starts ringing because of an event.
    void rang(int row);

private:
    void attachRows();
    void attachMenus();
    void attachAlarmList(const QStringList &names, int keepMs);
    // The row's shelf, or else its held-back count, right of its button.
    void showStatus(int row);

    const QVector<Sound *> rows;
    AlarmList *alarmList = nullptr;
    std::unique_ptr<AlarmListWindow> alarmListWindow;
    Horn *horn = nullptr;
    LinkStatus *link = nullptr;
    OperatorBar *operatorBar = nullptr;
    TrayNotifier *tray = nullptr;
    // The event now being matched has reached the tray already.
    bool eventNotified = false;
};
