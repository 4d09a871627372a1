#include "desktop/deskcontrol.h"

#include <QDBusMessage>
#include <QMetaProperty>
#include <QWidget>

#include "alarm/alarmmodel.h"
#include "app/timeunits.h"
#include "desktop/desktoplog.h"
#include "desktop/raisewindow.h"
#include "desktop/velmaradaptor.h"
#include "sound/soundwatch.h"
#include "stars/stars.h"

const QString DeskControl::Name = QStringLiteral("dev.velmar.Velmar");
const QString DeskControl::ObjectPath = QStringLiteral("/dev/velmar/Velmar");

namespace {

const QString UnknownRowError = QStringLiteral("dev.velmar.Velmar.Error.UnknownRow");

// The node name as one element of a bus name: letters, digits, '_' and '-', and not a digit first.
QString busNameElement(const QString &node)
{
    QString element;
    for (const QChar c : node) {
        const bool allowed = (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('_') || c == QLatin1Char('-');
        element += allowed ? c : QLatin1Char('_');
    }
    if (element.isEmpty() || element.at(0).isDigit())
        element.prepend(QLatin1Char('_'));
    return element;
}

} // namespace

DeskControl::DeskControl(const QDBusConnection &bus, AlarmModel *alarms, Stars *stars, QWidget *window)
    : QObject(window)
    , bus(bus)
    , alarms(alarms)
    , stars(stars)
    , window(window)
{
    new VelmarAdaptor(this);
    connect(alarms, &AlarmModel::rowChanged, this, &DeskControl::rowChanged);
    connect(alarms, &AlarmModel::quietChanged, this, &DeskControl::announceChanges);
    connect(stars, &Stars::linkStateChanged, this, &DeskControl::announceChanges);
}

// A name held by an object that goes is not given back by the bus until the connection ends.
DeskControl::~DeskControl()
{
    if (!busName.isEmpty())
        bus.unregisterService(busName);
}

void DeskControl::watchSound(SoundWatch *watch)
{
    soundWatch = watch;
    connect(watch, &SoundWatch::outputChanged, this, &DeskControl::announceChanges);
}

void DeskControl::registerFor(const QString &node)
{
    if (!bus.isConnected()) {
        qCDebug(lcDesktop).noquote() << "no session bus:" << bus.lastError().message() << "- no D-Bus control";
        return;
    }
    if (!bus.registerObject(ObjectPath, this)) {
        qCDebug(lcDesktop).noquote() << ObjectPath << "is taken on the session bus: no D-Bus control";
        return;
    }
    announced = properties();
    if (bus.registerService(Name)) {
        busName = Name;
        qCDebug(lcDesktop).noquote() << "D-Bus control:" << busName << ObjectPath;
        return;
    }
    const QString ownName = Name + QLatin1Char('.') + busNameElement(node);
    if (bus.registerService(ownName)) {
        busName = ownName;
        qCDebug(lcDesktop).noquote() << Name << "is taken by another Velmar; D-Bus control:" << busName << ObjectPath;
        return;
    }
    qCDebug(lcDesktop).noquote() << Name << "and" << ownName << "are taken: no D-Bus control";
    bus.unregisterObject(ObjectPath);
}

QString DeskControl::linkStateText() const
{
    switch (stars->linkState()) {
    case LinkState::Connecting:
        return QStringLiteral("connecting");
    case LinkState::LoggingIn:
        return QStringLiteral("logging in");
    case LinkState::LoggedIn:
        return QStringLiteral("logged in");
    case LinkState::Down:
        break;
    }
    return QStringLiteral("down");
}

QString DeskControl::soundOutputText() const
{
    if (!soundWatch)
        return QStringLiteral("not watched");
    const SoundOutput &output = soundWatch->output();
    switch (output.state) {
    case SoundOutput::State::Usable:
        return output.text;
    case SoundOutput::State::Lost:
        return QStringLiteral("lost: ") + output.text;
    case SoundOutput::State::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

uint DeskControl::unacknowledged() const
{
    uint count = 0;
    for (int row = 0; row < alarms->rowCount(); ++row)
        count += alarms->row(row).unacknowledged();
    return count;
}

bool DeskControl::muted() const
{
    return alarms->quiet() == AlarmModel::Quiet::Muted;
}

void DeskControl::Silence()
{
    alarms->silence();
}

void DeskControl::SetMuted(bool muted)
{
    alarms->setQuietTo(muted ? AlarmModel::Quiet::Muted : AlarmModel::Quiet::Off);
}

void DeskControl::Snooze(uint minutes)
{
    if (minutes < 1 || minutes > MaxSnoozeMinutes) {
        refuse(QDBusError::errorString(QDBusError::InvalidArgs),
               QStringLiteral("Snooze takes 1 to %1 minutes, not %2").arg(MaxSnoozeMinutes).arg(minutes));
        return;
    }
    alarms->setQuietTo(AlarmModel::Quiet::Snoozed, int(minutes) * MsPerMinute);
}

// Several rows may have the same events (for different senders): each of them is acknowledged.
void DeskControl::Acknowledge(const QString &row)
{
    bool known = false;
    for (int i = 0; i < alarms->rowCount(); ++i) {
        if (alarms->row(i).name != row)
            continue;
        known = true;
        alarms->acknowledge(i, Acknowledgement::here());
    }
    if (!known)
        refuse(UnknownRowError, QStringLiteral("No row named [%1]").arg(row));
}

void DeskControl::AcknowledgeAll()
{
    alarms->acknowledgeAll(Acknowledgement::here(AlarmCause::AcknowledgeAll));
}

void DeskControl::Raise()
{
    qCDebug(lcDesktop) << "Raise() over D-Bus";
    raiseWindow(window);
}

void DeskControl::rowChanged(const AlarmTransition &transition)
{
    if (transition.before != transition.after)
        emit AlarmChanged(transition.rowName, transition.after.text());
    announceChanges();
}

QVariantMap DeskControl::properties() const
{
    QVariantMap values;
    const QMetaObject *meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        values.insert(QString::fromLatin1(meta->property(i).name()), meta->property(i).read(this));
    return values;
}

void DeskControl::announceChanges()
{
    if (busName.isEmpty())
        return;
    QVariantMap changed;
    const QVariantMap now = properties();
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    announced = now;
    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << Name << changed << QStringList();
    bus.send(signal);
}

void DeskControl::refuse(const QString &error, const QString &message)
{
    if (calledFromDBus())
        sendErrorReply(error, message);
}
