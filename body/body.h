#pragma once

#include <QFrame>
#include <QVector>

#include <memory>

#include "body/settings.h"
#include "log/logarea.h"
#include "body/ui_body.h"

class AMsg;
class AlarmModel;
class DeskLink;
class Journal;
class DesktopNotifier;
class LinkAlarm;
class LinkSupervisor;
class OperatorViews;
class QGridLayout;
class PlaybackWatch;
class Sound;
class SoundRows;
class SoundWatch;
class Stars;

// The main window: the Stars settings panel, the "Log" switch and the sound rows. It builds the
// features the configuration asks for around the alarm model and wires them; the model decides.
class Body : public QFrame, private Ui_Body
{
    Q_OBJECT
    Q_DISABLE_COPY(Body)

public:
    explicit Body(QWidget *parent = nullptr);
    // With the settings already read from the configuration.
    explicit Body(const Settings &settings, QWidget *parent = nullptr);
    ~Body() override;

    // Shows `note` above the rows; the window grows by its height.
    void showNote(QWidget *note);

private slots:
    void starsIsReady();
    void anyAsk(const AMsg &msg);
    void anyEvent(const AMsg &msg);
    void anyAns(const AMsg &msg);

private:
    void setupStars();
    void showVerbose(bool on);
    void setupSounds();
    void setupAlarms();
    void setupLinkSupervision();
    void setupSoundErrors();
    void setupSoundWatch();
    void setupOperatorViews();
    void setupRuns();
    void setupDesks();
    void setupJournal();
    void setupNotifications();
    void setupDeskControl();
    void askForAttention();
    void addWindowSwitch(QWidget *window, const QString &text, const QString &name);
    void showPlaybackFailures(PlaybackWatch *watch);

    LogArea logArea;
    Stars *stars = nullptr;
    QGridLayout *soundLayout = nullptr;
    QVector<Sound *> sounds;

    const Settings settings;
    // Destroyed before the client it watches, so that the client's last disconnection
    // does not count as a lost link.
    std::unique_ptr<LinkSupervisor> linkSupervisor;
    // Destroyed before the client too: the window closing is no lost link to notify.
    std::unique_ptr<DesktopNotifier> notifier;
    LinkAlarm *linkAlarm = nullptr;
    AlarmModel *alarms = nullptr;
    SoundRows *soundRows = nullptr;
    SoundWatch *soundWatch = nullptr;
    DeskLink *desks = nullptr;
    std::unique_ptr<QWidget> historyWindow;
    OperatorViews *operatorViews = nullptr;
};
