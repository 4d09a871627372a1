#pragma once

#include <QFrame>
#include <QVector>

#include <memory>

#include "app/settings.h"
#include "log/logarea.h"
#include "body/ui_body.h"

class AMsg;
class CommandRunner;
class HornControl;
class LinkAlarm;
class LinkSupervisor;
class QGridLayout;
class PlaybackWatch;
class Sound;
class SoundWatch;
class Stars;

// The main window: the Stars settings panel, the "Log" switch and the sound rows.
class Body : public QFrame, private Ui_Body
{
    Q_OBJECT
    Q_DISABLE_COPY(Body)

public:
    explicit Body(QWidget *parent = nullptr);
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
    void setupSounds();
    void setupLinkSupervision();
    void setupSoundErrors();
    void setupHornControl();
    void setupSoundWatch();
    // Rings the row for the event, through the horn when there is one.
    void ring(int row, const QString &sender, const QString &event);
    void askForAttention();
    void addAlarmsSwitch(QWidget *alarms);
    void setupRuns();
    void rowRang(int row);
    void showPlaybackFailures(PlaybackWatch *watch);

    LogArea logArea;
    Stars *stars = nullptr;
    QGridLayout *soundLayout = nullptr;
    QVector<Sound *> sounds;

    const Settings settings;
    // Destroyed before the client it watches, so that the client's last disconnection
    // does not count as a lost link.
    std::unique_ptr<LinkSupervisor> linkSupervisor;
    LinkAlarm *linkAlarm = nullptr;
    HornControl *hornControl = nullptr;
    SoundWatch *soundWatch = nullptr;
    CommandRunner *runner = nullptr;
};
