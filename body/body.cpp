#include "body/body.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>

#include "app/connectbysignature.h"
#include "app/config.h"
#include "log/logcolours.h"
#include "operator/commandrunner.h"
#include "operator/horncontrol.h"
#include "operator/operatorbar.h"
#include "sound/linkalarm.h"
#include "sound/outputprobe.h"
#include "sound/playbackwatch.h"
#include "sound/ringcheck.h"
#include "sound/sound.h"
#include "sound/soundwatch.h"
#include "stars/linksupervisor.h"
#include "stars/amsg.h"
#include "stars/stars.h"

Q_LOGGING_CATEGORY(lcBody, "velmar.body")

namespace {

// The log window keeps this many text blocks; older lines scroll away.
constexpr int MaxLogBlocks = 2000;

// A blank sender field accepts every sender.
bool senderMatches(const QString &field, const QString &from)
{
    return field.simplified().isEmpty() || field == from;
}

} // namespace

Body::Body(QWidget *parent)
    : QFrame(parent)
    , logArea(nullptr, MaxLogBlocks)
    , settings(Settings::fromConfig(config))
{
    setupUi(this);
    if (settings.logToFile)
        logArea.writeTo(settings.logFileName);
    setupStars();
    setupSounds();
    setupSoundErrors();
    setupHornControl();
    setupSoundWatch();
    setupRuns();
}

Body::~Body() = default;

void Body::setupStars()
{
    stars = StarsCtrl;
    stars->setLogSendingMsg(true);
    logArea.setVisible(ShowLog->isChecked());

    connectBySignature(ShowLog, SIGNAL(toggled(bool)), &logArea, SLOT(setVisible(bool)));
    connectBySignature(stars, SIGNAL(log(const QString &, const QColor)),
                       &logArea, SLOT(log(const QString &, const QColor)));
    connectBySignature(stars, SIGNAL(starsIsReady()), this, SLOT(starsIsReady()));
    connectBySignature(stars, SIGNAL(anyAsk(const AMsg &)), this, SLOT(anyAsk(const AMsg &)));
    connectBySignature(stars, SIGNAL(anyAns(const AMsg &)), this, SLOT(anyAns(const AMsg &)));
    connectBySignature(stars, SIGNAL(anyEvent(const AMsg &)), this, SLOT(anyEvent(const AMsg &)));

    stars->hostField()->setText(config.valueOf(QStringLiteral("STARS_IP"), QStringLiteral("localhost")));
    stars->portField()->setText(config.valueOf(QStringLiteral("STARS_PORT"), QStringLiteral("6057")));
    stars->nodeNameField()->setText(config.valueOf(QStringLiteral("NAME_ON_STARS"), QStringLiteral("Zendri")));
    stars->keyFileField()->setText(config.valueOf(QStringLiteral("KEY_ON_STARS"), QStringLiteral("Zendri.key")));

    // Supervision starts before the start-up connection, so that a failed one counts too.
    setupLinkSupervision();
    if (config.valueOf(QStringLiteral("CONNECT_TO_STARS"), QStringLiteral("1")).toInt(nullptr, 10) == 1)
        stars->connectToStars();
}

void Body::setupLinkSupervision()
{
    if (!settings.supervisesLink())
        return;
    linkSupervisor = std::make_unique<LinkSupervisor>(stars, settings.link);
    connect(linkSupervisor.get(), &LinkSupervisor::log, &logArea, &LogArea::log);
    if (settings.linkLostSound.file.isEmpty())
        return;
    linkAlarm = new LinkAlarm(settings.linkLostSound, this);
    connect(linkSupervisor.get(), &LinkSupervisor::alarmChanged, linkAlarm, &LinkAlarm::setRinging);
}

void Body::setupSoundErrors()
{
    if (!settings.showSoundErrors)
        return;
    if (!PlaybackWatch::audioOutputAvailable())
        logArea.log(QStringLiteral("No audio output device: sounds cannot be heard"), LogColours::Failure);
    for (Sound *row : qAsConst(sounds))
        showPlaybackFailures(row->watchPlayback());
    if (linkAlarm)
        showPlaybackFailures(linkAlarm->watchPlayback());
}

// The operator bar goes below the rows, and the window grows by its height, so that the
// rows keep their room.
void Body::setupHornControl()
{
    if (!settings.operatorFeatures.enabled())
        return;
    hornControl = new HornControl(settings.operatorFeatures, sounds, stars, this);
    connect(hornControl, &HornControl::log, &logArea, &LogArea::log);
    if (linkAlarm)
        connect(hornControl, &HornControl::silenced, linkAlarm, &LinkAlarm::silence);
    if (OperatorBar *bar = hornControl->bar()) {
        gridLayout->addWidget(bar, 2, 0);
        resize(width(), height() + gridLayout->verticalSpacing() + bar->sizeHint().height());
    }
    if (QWidget *alarms = hornControl->alarmWindow())
        addAlarmsSwitch(alarms);
}

// "Alarms" beside "Log" shows and hides the alarm list's window as "Log" does the log's.
void Body::addAlarmsSwitch(QWidget *alarms)
{
    auto *showAlarms = new QCheckBox(tr("Alarms"), frame);
    showAlarms->setObjectName(QStringLiteral("ShowAlarms"));
    showAlarms->setSizePolicy(ShowLog->sizePolicy());
    gridLayout_3->addWidget(showAlarms, 0, 2);
    connect(showAlarms, &QCheckBox::toggled, alarms, &QWidget::setVisible);
}

// The players are prepared and the output probed once the window is up, so that start-up
// costs what it costs without the watch.
void Body::setupSoundWatch()
{
    if (!settings.soundWatch)
        return;
    QStringList names;
    for (Sound *row : qAsConst(sounds))
        names << row->name();
    soundWatch = new SoundWatch(names, this);
    connect(soundWatch, &SoundWatch::log, &logArea, &LogArea::log);
    connect(soundWatch, &SoundWatch::ringAgain, this, &Body::ring);
    connect(soundWatch, &SoundWatch::notHeardChanged, this, [this](int row, bool notHeard) {
        sounds.at(row)->setNotHeard(notHeard);
    });
    connect(soundWatch, &SoundWatch::ringNotHeard, this, &Body::askForAttention);
    for (int i = 0; i < sounds.size(); ++i) {
        RingCheck *check = sounds.at(i)->checkRings();
        connect(check, &RingCheck::started, soundWatch, [this, i] { soundWatch->rowStarted(i); });
        connect(check, &RingCheck::heard, soundWatch, [this, i] { soundWatch->rowHeard(i); });
        connect(check, &RingCheck::notHeard, soundWatch, [this, i](const QString &reason) { soundWatch->rowFailed(i, reason); });
        // With the horn, a click may only acknowledge the row and play nothing.
        connect(sounds.at(i), &Sound::buttonClicked, soundWatch, [this, i] { soundWatch->rowNoticed(i); });
    }
    if (hornControl)
        hornControl->watchSound(soundWatch);
    auto *probe = new OutputProbe(soundWatch);
    connect(probe, &OutputProbe::found, soundWatch, &SoundWatch::setOutput);
    QTimer::singleShot(0, probe, [this, probe] {
        for (Sound *row : qAsConst(sounds))
            row->keepPrepared();
        probe->start();
    });
}

void Body::ring(int row, const QString &sender, const QString &event)
{
    if (soundWatch)
        soundWatch->eventRings(row, sender, event);
    if (hornControl) {
        hornControl->rowMatched(row, sender, event);
    } else {
        sounds.at(row)->play();
        rowRang(row);
    }
    if (soundWatch)
        soundWatch->eventDone();
}

// Each ring not heard asks for the operator's eyes: the window flashes in the task bar and
// comes back from the task bar when minimised.
void Body::askForAttention()
{
    if (isMinimized())
        showNormal();
    QApplication::alert(this);
}

void Body::setupRuns()
{
    if (!settings.runs.enabled())
        return;
    runner = new CommandRunner(settings.runs, this);
    connect(runner, &CommandRunner::log, &logArea, &LogArea::log);
    if (hornControl)
        connect(hornControl, &HornControl::rang, runner, [this](int row) { rowRang(row); });
}

void Body::rowRang(int row)
{
    if (runner)
        runner->rowRang(sounds.at(row)->name());
}

void Body::showNote(QWidget *note)
{
    gridLayout_3->addWidget(note, 1, 0, 1, 2);
    resize(width(), height() + gridLayout_3->verticalSpacing() + note->sizeHint().height());
}

void Body::showPlaybackFailures(PlaybackWatch *watch)
{
    connect(watch, &PlaybackWatch::log, &logArea, &LogArea::log);
}

// One row per EVENT entry that names its events and a sound file; the grid row is the
// entry's index, so a skipped entry leaves an empty row that takes no space.
void Body::setupSounds()
{
    soundLayout = ScrollAreaLayout;
    const QStringList rests = config.allRestsOf(QStringLiteral("EVENT"));
    for (int i = 0; i < rests.size(); ++i) {
        QString events, soundFile, volume, sender;
        QString rest = takeItem(rests.at(i), events);
        rest = takeItem(rest, soundFile);
        rest = takeItem(rest, volume);
        takeItem(rest, sender);
        if (events.isEmpty() || soundFile.isEmpty())
            continue;
        auto *row = new Sound(events, soundFile, volume, sender);
        soundLayout->addWidget(row, i, 0);
        sounds.append(row);
    }
}

// Subscribes again after every log-in, since the server forgets subscriptions on disconnect.
void Body::starsIsReady()
{
    const QStringList nodes = config.allValuesOf(QStringLiteral("FLGON"));
    for (const QString &node : nodes)
        stars->sendCmd(QString(), QStringLiteral("System"), QStringLiteral("flgon ") + node);
}

void Body::anyAsk(const AMsg &)
{
}

// Plays every row that lists the event and whose sender field is blank or names the sender.
void Body::anyEvent(const AMsg &msg)
{
    if (hornControl)
        hornControl->eventReceived();
    if (runner)
        runner->eventReceived(msg);
    for (int i = 0; i < sounds.size(); ++i) {
        Sound *row = sounds.at(i);
        // The sender field is read only for a listed event; the debug line reads it itself.
        const bool listed = row->events().contains(msg.cmd);
        const bool matches = listed && senderMatches(row->senderText(), msg.from);
        qCDebug(lcBody) << msg.cmd << row->events() << listed << msg.from << row->senderText() << matches;
        if (matches)
            ring(i, msg.from, msg.cmd);
    }
}

void Body::anyAns(const AMsg &)
{
}
