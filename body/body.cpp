#include "body/body.h"

#include <QApplication>
#include <QDateTime>
#include <QLoggingCategory>
#include <QTimer>

#include "alarm/alarmmodel.h"
#include "app/connectbysignature.h"
#include "app/config.h"
#include "desks/desklink.h"
#include "desktop/deskcontrol.h"
#include "desktop/desktopnotifier.h"
#include "journal/historywindow.h"
#include "journal/journal.h"
#include "log/logcolours.h"
#include "operator/commandrunner.h"
#include "operator/operatorbar.h"
#include "operator/operatorviews.h"
#include "operator/traynotifier.h"
#include "sound/linkalarm.h"
#include "sound/outputprobe.h"
#include "sound/playbackwatch.h"
#include "sound/sound.h"
#include "sound/soundrows.h"
#include "sound/soundwatch.h"
#include "stars/linksupervisor.h"
#include "stars/amsg.h"
#include "stars/stars.h"

Q_LOGGING_CATEGORY(lcBody, "velmar.body")

namespace {

// A blank sender field accepts every sender.
bool senderMatches(const QString &field, const QString &from)
{
    return field.simplified().isEmpty() || field == from;
}

} // namespace

Body::Body(QWidget *parent)
    : Body(Settings::fromConfig(config), parent)
{
}

Body::Body(const Settings &settings, QWidget *parent)
    : QFrame(parent)
    , logArea(nullptr, LogArea::MaxLogBlocks)
    , settings(settings)
{
    setupUi(this);
    if (settings.logToFile)
        logArea.writeTo(settings.logFileName);
    setupStars();
    setupSounds();
    setupAlarms();
    setupSoundErrors();
    setupSoundWatch();
    setupDesks();
    setupOperatorViews();
    setupRuns();
    setupNotifications();
    setupDeskControl();
    setupJournal();
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
    connect(&logArea, &LogArea::verboseToggled, this, &Body::showVerbose);
    connectBySignature(stars, SIGNAL(starsIsReady()), this, SLOT(starsIsReady()));
    connectBySignature(stars, SIGNAL(anyAsk(const AMsg &)), this, SLOT(anyAsk(const AMsg &)));
    connectBySignature(stars, SIGNAL(anyAns(const AMsg &)), this, SLOT(anyAns(const AMsg &)));
    connectBySignature(stars, SIGNAL(anyEvent(const AMsg &)), this, SLOT(anyEvent(const AMsg &)));

    stars->hostField()->setText(settings.host);
    stars->portField()->setText(settings.port);
    stars->nodeNameField()->setText(settings.nodeName);
    stars->keyFileField()->setText(config.valueOf(QStringLiteral("KEY_ON_STARS"), QStringLiteral("Zendri.key")));

    // Supervision starts before the start-up connection, so that a failed one counts too.
    setupLinkSupervision();
    if (config.valueOf(QStringLiteral("CONNECT_TO_STARS"), QStringLiteral("1")).toInt(nullptr, 10) == 1)
        stars->connectToStars();
}

// The client's verbose lines reach the log window while "Verbose" is ticked. The client formats
// them only while someone listens, so that unticked they cost a flood of events nothing.
void Body::showVerbose(bool on)
{
    if (on)
        connectBySignature(stars, SIGNAL(vlog(const QString &, const QColor)), &logArea, SLOT(vlog(const QString &, const QColor)));
    else
        disconnect(stars, SIGNAL(vlog(const QString &, const QColor)), &logArea, SLOT(vlog(const QString &, const QColor)));
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

// Every row rings through the alarm model, which a configuration without the operator keys
// leaves to ring every matching row at once.
void Body::setupAlarms()
{
    QStringList names;
    for (Sound *row : qAsConst(sounds))
        names << row->name();
    alarms = new AlarmModel(names, settings.alarms, this);
    connect(alarms, &AlarmModel::log, &logArea, &LogArea::log);
    if (linkAlarm)
        connect(alarms, &AlarmModel::silenced, linkAlarm, &LinkAlarm::silence);
    soundRows = new SoundRows(alarms, sounds, this);
}

// The players are prepared and the output probed once the window is up, so that start-up
// costs what it costs without the watch. Each ring not heard asks for the operator's eyes.
void Body::setupSoundWatch()
{
    if (!settings.soundWatch)
        return;
    soundWatch = new SoundWatch(alarms, this);
    connect(soundWatch, &SoundWatch::log, &logArea, &LogArea::log);
    soundRows->checkRings();
    connect(alarms, &AlarmModel::rowChanged, this, [this](const AlarmTransition &transition) {
        if (transition.cause == AlarmCause::NotHeard)
            askForAttention();
    });
    auto *probe = new OutputProbe(soundWatch);
    connect(probe, &OutputProbe::found, soundWatch, &SoundWatch::setOutput);
    QTimer::singleShot(0, probe, [this, probe] {
        for (Sound *row : qAsConst(sounds))
            row->keepPrepared();
        probe->start();
    });
}

// The window flashes in the task bar and comes back from the task bar when minimised.
void Body::askForAttention()
{
    if (isMinimized())
        showNormal();
    QApplication::alert(this);
}

// The operator bar goes below the rows, and the window grows by its height, so that the
// rows keep their room.
void Body::setupOperatorViews()
{
    if (!settings.operatorViews.enabled())
        return;
    operatorViews = new OperatorViews(settings.operatorViews, alarms, sounds, stars, this);
    if (soundWatch)
        operatorViews->watchSound(soundWatch);
    if (desks)
        operatorViews->watchDesks(desks);
    if (OperatorBar *bar = operatorViews->bar()) {
        gridLayout->addWidget(bar, 2, 0);
        resize(width(), height() + gridLayout->verticalSpacing() + bar->sizeHint().height());
    }
    if (QWidget *alarmWindow = operatorViews->alarmWindow())
        addWindowSwitch(alarmWindow, tr("Alarms"), QStringLiteral("ShowAlarms"));
}

// A check box after "Log" ("Alarms", "History") shows and hides a window as "Log" does the log's.
void Body::addWindowSwitch(QWidget *window, const QString &text, const QString &name)
{
    auto *box = new QCheckBox(text, frame);
    box->setObjectName(name);
    box->setSizePolicy(ShowLog->sizePolicy());
    gridLayout_3->addWidget(box, 0, gridLayout_3->columnCount());
    connect(box, &QCheckBox::toggled, window, &QWidget::setVisible);
}

void Body::setupRuns()
{
    if (!settings.runs.enabled())
        return;
    auto *runner = new CommandRunner(settings.runs, this);
    connect(runner, &CommandRunner::log, &logArea, &LogArea::log);
    connect(alarms, &AlarmModel::eventTaken, runner, &CommandRunner::eventArrived);
    connect(alarms, &AlarmModel::rang, runner, [this, runner](const Ring &ring) { runner->ring(ring, alarms->row(ring.row).name); });
}

// The title names this desk, so that two desks on one screen can be told apart.
void Body::setupDesks()
{
    if (settings.desks.isEmpty())
        return;
    desks = new DeskLink(settings.desks, stars, alarms, this);
    connect(desks, &DeskLink::log, &logArea, &LogArea::log);
    if (soundWatch)
        desks->watchSound(soundWatch);
    setWindowTitle(tr("Velmar at %1").arg(stars->nodeNameField()->text()));
}

// The journal records the model's changes, the link and the sound output, brings back what
// stood at the last stop once every other feature listens, and offers its history.
void Body::setupJournal()
{
    if (!settings.journal.enabled())
        return;
    auto *journal = new Journal(settings.journal, alarms, this);
    connect(journal, &Journal::log, &logArea, &LogArea::log);
    // The link ends as the window goes too, while the journal is still there: the entry asks the
    // client, never the window, which is no longer whole then.
    connect(stars, &Stars::linkStateChanged, journal, [stars = stars, journal](LinkState state) {
        if (state == LinkState::LoggedIn)
            journal->linkUp(stars->address());
        else if (state == LinkState::Down)
            journal->linkDown(stars->address());
    });
    if (soundWatch) {
        connect(soundWatch, &SoundWatch::outputChanged, journal, [soundWatch = soundWatch, journal] {
            journal->soundFound(!soundWatch->canBeHeard(), soundWatch->output().text);
        });
    }
    journal->start();
    historyWindow = std::make_unique<HistoryWindow>(settings.journal.file);
    addWindowSwitch(historyWindow.get(), tr("History"), QStringLiteral("ShowHistory"));
}

// Desktop notifications stand in for the tray's messages while the desktop has a service for
// them; they also tell of a peer desk that cannot sound.
void Body::setupNotifications()
{
    if (!settings.desktop.notify)
        return;
    notifier = std::make_unique<DesktopNotifier>(QDBusConnection::sessionBus(), alarms, stars);
    if (TrayNotifier *tray = operatorViews ? operatorViews->tray() : nullptr)
        connect(notifier.get(), &DesktopNotifier::serviceChecked, tray, [tray](bool found) { tray->setMessagesShown(!found); });
    if (desks) {
        connect(desks, &DeskLink::silentDesksChanged, notifier.get(), [this](const QString &desk) {
            notifier->peerSoundChanged(desk, desks->silentDesks().contains(desk), desks->silentDesks().value(desk));
        });
    }
}

void Body::setupDeskControl()
{
    if (!settings.desktop.dbus)
        return;
    auto *control = new DeskControl(QDBusConnection::sessionBus(), alarms, stars, this);
    if (soundWatch)
        control->watchSound(soundWatch);
    control->registerFor(settings.nodeName);
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
    if (desks)
        desks->loggedIn();
}

void Body::anyAsk(const AMsg &)
{
}

// Hands the event to the alarm model with every row that lists it and whose sender field is
// blank or names the sender.
void Body::anyEvent(const AMsg &msg)
{
    AlarmEvent event {msg.from, msg.cmd, msg.params.join(QLatin1Char(' ')), QDateTime::currentMSecsSinceEpoch(), {}};
    for (int i = 0; i < sounds.size(); ++i) {
        Sound *row = sounds.at(i);
        // The sender field is read only for a listed event; the debug line reads it itself.
        const bool listed = row->events().contains(msg.cmd);
        const bool matches = listed && senderMatches(row->senderText(), msg.from);
        qCDebug(lcBody) << msg.cmd << row->events() << listed << msg.from << row->senderText() << matches;
        if (matches)
            event.rows.append(i);
    }
    alarms->takeEvent(event);
}

void Body::anyAns(const AMsg &)
{
}
