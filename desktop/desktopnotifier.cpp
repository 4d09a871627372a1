#include "desktop/desktopnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>

#include "alarm/alarmmodel.h"
#include "desktop/desktoplog.h"
#include "stars/stars.h"

const QString DesktopNotifier::Service = QStringLiteral("org.freedesktop.Notifications");
const QString DesktopNotifier::Path = QStringLiteral("/org/freedesktop/Notifications");

namespace {

const QString LinkKey = QStringLiteral("link");
const QString AcknowledgeAction = QStringLiteral("acknowledge");
// A click on the notification itself.
const QString DefaultAction = QStringLiteral("default");
// The urgency levels of the notification service, sent as a byte.
constexpr uchar NormalUrgency = 1;
constexpr uchar CriticalUrgency = 2;
// The service chooses how long a notification stays.
constexpr int ServiceTimeout = -1;

QString rowKey(int row)
{
    return QStringLiteral("row %1").arg(row);
}

QDBusMessage closeMessage(uint id)
{
    return QDBusMessage::createMethodCall(DesktopNotifier::Service, DesktopNotifier::Path, DesktopNotifier::Service,
                                          QStringLiteral("CloseNotification")) << id;
}

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

bool DesktopNotifier::Note::operator==(const Note &other) const
{
    return summary == other.summary && body == other.body && critical == other.critical && row == other.row;
}

// The service is asked for what it can do before the first notification; one that does not
// run yet is started by the bus. A call on a bus that is not there would never be answered.
DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, AlarmModel *alarms, Stars *stars, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , alarms(alarms)
    , stars(stars)
{
    connect(alarms, &AlarmModel::rowChanged, this, &DesktopNotifier::rowChanged);
    connect(stars, &Stars::linkStateChanged, this, &DesktopNotifier::linkChanged);
    connect(stars, &Stars::connectionRequested, this, &DesktopNotifier::connectionRequested);
    if (!this->bus.isConnected()) {
        serviceMissing(QStringLiteral("no session bus: ") + this->bus.lastError().message());
        return;
    }
    if (!this->bus.connect(Service, Path, Service, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)))
        || !this->bus.connect(Service, Path, Service, QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint))))
        qCDebug(lcDesktop) << "cannot follow the notification service's signals";
    const QDBusMessage ask = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("GetCapabilities"));
    auto *call = new QDBusPendingCallWatcher(this->bus.asyncCall(ask), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::capabilitiesAnswered);
}

DesktopNotifier::~DesktopNotifier()
{
    for (const Shown &entry : qAsConst(shown)) {
        if (entry.id != 0)
            bus.send(closeMessage(entry.id));
    }
}

void DesktopNotifier::peerSoundChanged(const QString &desk, bool lost, const QString &reason)
{
    const QString key = QStringLiteral("peer ") + desk;
    if (lost)
        show(key, {tr("%1 cannot sound").arg(desk), reason, true, -1});
    else
        close(key);
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    const auto it = shown.constFind(keyOf(id));
    if (it == shown.cend() || it->note.row < 0 || (action != AcknowledgeAction && action != DefaultAction))
        return;
    alarms->acknowledge(it->note.row, Acknowledgement::here());
}

// Closed by the operator or by the service: the next change of its row shows a new one.
void DesktopNotifier::notificationClosed(uint id, uint)
{
    const auto it = shown.find(keyOf(id));
    if (it != shown.end())
        it->id = 0;
}

void DesktopNotifier::capabilitiesAnswered(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    if (reply.isError()) {
        serviceMissing(reply.error().message());
        return;
    }
    service = ServiceState::Found;
    capabilities = reply.value();
    emit serviceChecked(true);
    for (const QString &key : shown.keys())
        update(key);
}

void DesktopNotifier::serviceMissing(const QString &why)
{
    service = ServiceState::Missing;
    qCDebug(lcDesktop).noquote() << "no desktop notifications:" << why << "- with TRAY 1 the tray's messages stand in";
    emit serviceChecked(false);
}

// A row's notification opens when it rings and follows it while it waits for its
// acknowledgement; an event held while muted opens none.
void DesktopNotifier::rowChanged(const AlarmTransition &transition)
{
    const AlarmRow &alarm = alarms->row(transition.row);
    const QString key = rowKey(transition.row);
    if (!alarm.unacknowledged())
        close(key);
    else if (alarm.state == AlarmState::Ringing || shown.contains(key))
        show(key, rowNote(transition.row, alarm));
}

// Only a link that was up and went without the user's Disconnect is lost; the next log-in
// closes its notification.
void DesktopNotifier::linkChanged(LinkState state)
{
    if (state == LinkState::LoggedIn) {
        linkWasUp = true;
        close(LinkKey);
    } else if (state == LinkState::Down && linkWasUp) {
        linkWasUp = false;
        if (!userClosedLink)
            show(LinkKey, {tr("Stars link lost"), tr("%1 at %2").arg(stars->address(), timeText(QDateTime::currentMSecsSinceEpoch())), true, -1});
    }
}

void DesktopNotifier::connectionRequested(bool open)
{
    userClosedLink = !open;
    if (!open)
        close(LinkKey);
}

// "Dev Alarm" over "[Alarm] at 12:03:55, 3 events", and why it was not heard.
DesktopNotifier::Note DesktopNotifier::rowNote(int row, const AlarmRow &alarm) const
{
    Note note {QStringLiteral("%1 %2").arg(alarm.sender, alarm.event), tr("[%1] at %2").arg(alarm.name, timeText(alarm.lastMs)),
               alarm.critical || alarm.notHeard, row};
    if (alarm.count > 1)
        note.body += tr(", %n events", nullptr, alarm.count);
    if (alarm.notHeard)
        note.body += QLatin1Char('\n') + tr("Not heard: %1").arg(alarm.notHeardReason);
    return note;
}

void DesktopNotifier::show(const QString &key, const Note &note)
{
    const auto it = shown.find(key);
    if (it != shown.end() && it->open && it->note == note)
        return;
    Shown &entry = shown[key];
    entry.note = note;
    entry.open = true;
    entry.changed = true;
    update(key);
}

void DesktopNotifier::close(const QString &key)
{
    const auto it = shown.find(key);
    if (it == shown.end())
        return;
    it->open = false;
    it->changed = true;
    update(key);
}

void DesktopNotifier::update(const QString &key)
{
    const auto it = shown.find(key);
    if (it == shown.end() || it->pending || !it->changed)
        return;
    if (!it->open) {
        if (it->id != 0)
            bus.send(closeMessage(it->id));
        shown.erase(it);
        return;
    }
    if (service != ServiceState::Found)
        return;
    it->changed = false;
    it->pending = true;
    QDBusMessage notify = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    notify.setArguments(notifyArguments(*it));
    auto *call = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher *answered) { delivered(key, answered); });
}

// A change that came while the service had to answer goes out now.
void DesktopNotifier::delivered(const QString &key, QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const auto it = shown.find(key);
    if (it == shown.end())
        return;
    it->pending = false;
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError())
        qCDebug(lcDesktop).noquote() << "a desktop notification failed:" << reply.error().message();
    else
        it->id = reply.value();
    update(key);
}

// Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout). A
// service that takes markup in the body gets the texts of nodes and rows as plain text.
QVariantList DesktopNotifier::notifyArguments(const Shown &entry) const
{
    const Note &note = entry.note;
    QStringList actions;
    if (note.row >= 0 && capabilities.contains(QStringLiteral("actions")))
        actions << DefaultAction << tr("Acknowledge") << AcknowledgeAction << tr("Acknowledge");
    QVariantMap hints {{QStringLiteral("desktop-entry"), QStringLiteral("velmar")},
                       {QStringLiteral("urgency"), QVariant::fromValue(note.critical ? CriticalUrgency : NormalUrgency)}};
    if (note.critical)
        hints.insert(QStringLiteral("resident"), true);
    const QString body = capabilities.contains(QStringLiteral("body-markup")) ? note.body.toHtmlEscaped() : note.body;
    return {QStringLiteral("Velmar"), entry.id, QStringLiteral("velmar"), note.summary, body, actions, hints, ServiceTimeout};
}

QString DesktopNotifier::keyOf(uint id) const
{
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        if (id != 0 && it->id == id)
            return it.key();
    }
    return QString();
}
