#include "desks/desklink.h"

#include <QLineEdit>

#include "alarm/alarmmodel.h"
#include "desks/deskmessage.h"
#include "log/logcolours.h"
#include "operator/eventcommand.h"
#include "sound/soundwatch.h"
#include "stars/amsg.h"
#include "stars/stars.h"

Q_LOGGING_CATEGORY(lcDesks, "velmar.desks")

namespace {

const QString SystemNode = QStringLiteral("System");

// This desk's operator acknowledged the alarm: not a peer desk, and not a restore of what stood
// before a restart.
bool acknowledgedHere(const AlarmTransition &transition)
{
    const bool waited = transition.before.state == AlarmState::Ringing || transition.before.state == AlarmState::Unacknowledged;
    return waited && transition.after.state == AlarmState::Acknowledged && transition.cause != AlarmCause::Peer
        && transition.cause != AlarmCause::Restore;
}

} // namespace

DeskLink::DeskLink(const QStringList &desks, Stars *stars, AlarmModel *alarms, QObject *parent)
    : QObject(parent)
    , desks(desks)
    , stars(stars)
    , alarms(alarms)
{
    turn.setSingleShot(true);
    turn.setInterval(0);
    connect(stars, &Stars::anyEvent, this, &DeskLink::eventArrived);
    connect(alarms, &AlarmModel::rowChanged, this, &DeskLink::rowChanged);
}

void DeskLink::watchSound(SoundWatch *watch)
{
    sound = watch;
    connect(watch, &SoundWatch::outputChanged, this, &DeskLink::tellSound);
}

void DeskLink::loggedIn()
{
    for (const QString &desk : desks) {
        if (isPeer(desk))
            stars->sendCmd(QString(), SystemNode, QStringLiteral("flgon ") + desk);
    }
    told = Told::Nothing;
    tellSound();
}

const QMap<QString, QString> &DeskLink::silentDesks() const
{
    return silent;
}

QString DeskLink::soundText(const QString &desk) const
{
    if (silent.contains(desk))
        return QStringLiteral("Desk %1 cannot sound: %2").arg(desk, silent.value(desk));
    return QStringLiteral("Desk %1 can sound again").arg(desk);
}

// Every event also went to the alarm model, as any event does; here only the desk words count.
void DeskLink::eventArrived(const AMsg &msg)
{
    const DeskMessage message = DeskMessage::read(msg.cmd, msg.params);
    if (message.kind == DeskMessage::Kind::None)
        return;
    if (!isPeer(msg.fromNode)) {
        qCDebug(lcDesks).noquote() << QStringLiteral("%1 is not a desk: _%2 ignored").arg(inertText(msg.fromNode, DeskMessage::MaxShownChars), msg.cmd);
        return;
    }
    if (!message.problem.isEmpty()) {
        qCDebug(lcDesks).noquote() << QStringLiteral("_%1 from %2 ignored: %3").arg(msg.cmd, msg.fromNode, message.problem);
        return;
    }
    if (message.kind == DeskMessage::Kind::Acknowledged)
        acknowledgeHere(msg.fromNode, message);
    else if (message.kind == DeskMessage::Kind::SoundLost)
        setCannotSound(msg.fromNode, message.reason);
    else
        setCanSound(msg.fromNode);
}

// An acknowledgement that cannot go out is said, as the peers go on ringing.
void DeskLink::rowChanged(const AlarmTransition &transition)
{
    if (!acknowledgedHere(transition))
        return;
    if (!turn.isActive()) {
        toldNow.clear();
        turn.start();
    }
    const QPair<QString, QString> alarm(transition.sender, transition.event);
    if (toldNow.contains(alarm))
        return;
    toldNow.insert(alarm);
    if (isLoggedIn())
        stars->sendEvent(QString(), DeskMessage::acknowledged(alarm.first, alarm.second, transition.who).eventText());
    else
        emit log(QStringLiteral("Not logged in to Stars: the peer desks do not learn that %1 %2 was acknowledged")
                     .arg(transition.sender, transition.event),
                 LogColours::Notice);
}

// Once the output is known, each change between can and cannot sound is told; another reason
// while it cannot is not.
void DeskLink::tellSound()
{
    if (!sound || !isLoggedIn() || sound->output().state == SoundOutput::State::Unknown)
        return;
    const Told now = sound->canBeHeard() ? Told::Back : Told::Lost;
    if (now == told)
        return;
    told = now;
    const DeskMessage message = now == Told::Lost ? DeskMessage::soundLost(sound->output().text) : DeskMessage::soundBack();
    stars->sendEvent(QString(), message.eventText());
}

void DeskLink::acknowledgeHere(const QString &desk, const DeskMessage &message)
{
    for (int row = 0; row < alarms->rowCount(); ++row) {
        const AlarmRow &alarm = alarms->row(row);
        if (alarm.unacknowledged() && alarm.sender == message.sender && alarm.event == message.event)
            alarms->acknowledge(row, Acknowledgement {AlarmCause::Peer, message.who, desk});
    }
}

// A new reason from a desk that already cannot sound changes nothing that is shown.
void DeskLink::setCannotSound(const QString &desk, const QString &reason)
{
    const bool changed = !silent.contains(desk);
    silent.insert(desk, reason);
    if (!changed)
        return;
    emit log(soundText(desk), LogColours::Failure);
    emit silentDesksChanged(desk);
}

void DeskLink::setCanSound(const QString &desk)
{
    if (silent.remove(desk) == 0)
        return;
    emit log(soundText(desk), LogColours::Recovery);
    emit silentDesksChanged(desk);
}

bool DeskLink::isPeer(const QString &node) const
{
    return desks.contains(node) && node != stars->nodeNameField()->text();
}

bool DeskLink::isLoggedIn() const
{
    return stars->linkState() == LinkState::LoggedIn;
}
