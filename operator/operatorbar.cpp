#include "operator/operatorbar.h"

#include <QLabel>
#include <QShortcut>

#include "alarm/alarmmodel.h"
#include "app/durationtext.h"
#include "app/onceperturn.h"
#include "app/timeunits.h"
#include "desks/desklink.h"
#include "log/logcolours.h"
#include "operator/linkstatus.h"
#include "sound/soundwatch.h"
#include "stars/connectstat.h"

namespace {

constexpr int CountdownMs = 250;
// The sound's state stands right of the counters, the peer desks' above it.
constexpr int SoundRow = 1;
constexpr int DesksRow = 0;
constexpr int FailureColumn = 7;

} // namespace

OperatorBar::OperatorBar(AlarmModel *alarms, LinkStatus *link, QWidget *parent)
    : QFrame(parent)
    , alarms(alarms)
    , link(link)
{
    setupUi(this);
    connect(SilenceB, &QPushButton::clicked, alarms, &AlarmModel::silence);
    connect(MuteB, &QPushButton::clicked, alarms, &AlarmModel::toggleMute);
    for (const auto &snooze : snoozeButtons())
        connect(snooze.first, &QPushButton::clicked, alarms, [alarms, snooze] { alarms->toggleSnooze(snooze.second * MsPerMinute); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, alarms, &AlarmModel::silence);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this), &QShortcut::activated, alarms, &AlarmModel::toggleMute);

    countdown.setInterval(CountdownMs);
    connect(&countdown, &QTimer::timeout, this, &OperatorBar::showQuiet);
    connect(alarms, &AlarmModel::quietChanged, this, &OperatorBar::showQuiet);
    // A storm changes the counters with every event; the bar shows them once a turn.
    connect(alarms, &AlarmModel::countersChanged, new OncePerTurn([this] { showCounters(); }, this), &OncePerTurn::request);
    connect(link, &LinkStatus::changed, this, &OperatorBar::showLink);
    showQuiet();
    showLink();
    showCounters();
}

// The buttons stay checked while their state lasts, so that a click shows what it will end.
void OperatorBar::showQuiet()
{
    const AlarmModel::Quiet quiet = alarms->quiet();
    MuteB->setChecked(quiet == AlarmModel::Quiet::Muted);
    for (const auto &snooze : snoozeButtons())
        snooze.first->setChecked(alarms->snoozeMs() == snooze.second * MsPerMinute);
    const bool snoozed = quiet == AlarmModel::Quiet::Snoozed;
    SnoozeL->setText(snoozed ? tr("%1 left").arg(durationText(alarms->snoozeRemainingMs() + 999)) : QString());
    if (snoozed != countdown.isActive())
        snoozed ? countdown.start() : countdown.stop();
}

void OperatorBar::showLink()
{
    const LinkState state = link->state();
    LinkL->setStyleSheet(ConnectStat::labelStyleSheet(state));
    switch (state) {
    case LinkState::LoggedIn:
        LinkL->setText(tr("logged in"));
        return;
    case LinkState::Connecting:
    case LinkState::LoggingIn:
        LinkL->setText(tr("connecting"));
        return;
    case LinkState::Down:
        LinkL->setText(tr("down since %1").arg(link->downSince().toString(QStringLiteral("hh:mm:ss"))));
        return;
    }
}

void OperatorBar::showSound(SoundWatch *watch)
{
    sound = watch;
    soundLabel = addFailureLabel(QStringLiteral("SoundL"), SoundRow);
    connect(watch, &SoundWatch::outputChanged, this, &OperatorBar::showSoundOutput);
    showSoundOutput();
}

void OperatorBar::showDesks(DeskLink *peers)
{
    desks = peers;
    desksLabel = addFailureLabel(QStringLiteral("DesksL"), DesksRow);
    connect(desks, &DeskLink::silentDesksChanged, this, &OperatorBar::showSilentDesks);
    showSilentDesks();
}

QLabel *OperatorBar::addFailureLabel(const QString &name, int row)
{
    auto *label = new QLabel(this);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(LogColours::Failure.name()));
    gridLayout->addWidget(label, row, FailureColumn);
    return label;
}

void OperatorBar::showSoundOutput()
{
    soundLabel->setVisible(!sound->canBeHeard());
    soundLabel->setText(tr("sound: unavailable since %1").arg(sound->lostSince().toString(QStringLiteral("hh:mm:ss"))));
}

void OperatorBar::showSilentDesks()
{
    const QStringList names = desks->silentDesks().keys();
    desksLabel->setVisible(!names.isEmpty());
    desksLabel->setText(tr("desks that cannot sound: %1").arg(names.join(QStringLiteral(", "))));
}

void OperatorBar::showCounters()
{
    const AlarmModel::Counters counters = alarms->counters();
    CountersL->setText(tr("events %1 · matched %2 · muted %3 · held back %4")
                           .arg(counters.received)
                           .arg(counters.matched)
                           .arg(counters.muted)
                           .arg(counters.heldBack));
}

QVector<QPair<QPushButton *, int>> OperatorBar::snoozeButtons() const
{
    return {{Snooze5B, 5}, {Snooze15B, 15}, {Snooze60B, 60}};
}
