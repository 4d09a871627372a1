#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "stars/linkstate.h"

class AlarmModel;
class QDBusPendingCallWatcher;
class Stars;
struct AlarmRow;
struct AlarmTransition;

// Desktop notifications through the session's notification service: one for each ringing
// row, replaced as the row changes and closed once it is acknowledged anywhere, whose
// "Acknowledge" action (and click) acknowledges that row; one while the link is lost after a
// log-in; one while a peer desk cannot sound. Critical rows and rings not heard are critical
// notifications that stay until closed. Without the service there is one debug line and no
// notification.
class DesktopNotifier : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DesktopNotifier)

public:
    // The service's bus name, which is also its interface's name, and its object's path.
    static const QString Service;
    static const QString Path;

    DesktopNotifier(const QDBusConnection &bus, AlarmModel *alarms, Stars *stars, QObject *parent = nullptr);
    // Its notifications go with it: their actions would reach nobody.
    ~DesktopNotifier() override;

public slots:
    // A peer desk lost its sound for `reason`, or has it again.
    void peerSoundChanged(const QString &desk, bool lost, const QString &reason);

signals:
    // Whether the service answered at start; without it the tray's messages stand in.
    void serviceChecked(bool available);

private slots:
    // The service's signals, for every notification on the desktop.
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

private:
    struct Note
    {
        QString summary;
        QString body;
        bool critical = false;
        // The row that its action acknowledges; -1 for none.
        int row = -1;

        bool operator==(const Note &other) const;
    };
    // One notification: what it should show, and what the service knows of it.
    struct Shown
    {
        Note note;
        // False once it is to be closed.
        bool open = true;
        // The note changed since it was last sent, or is to be closed.
        bool changed = true;
        // A Notify call waits for its answer.
        bool pending = false;
        // The service's id; 0 before its first answer and once the service closed it.
        uint id = 0;
    };
    enum class ServiceState { Asked, Found, Missing };

    void capabilitiesAnswered(QDBusPendingCallWatcher *call);
    void serviceMissing(const QString &why);
    void rowChanged(const AlarmTransition &transition);
    void linkChanged(LinkState state);
    void connectionRequested(bool open);
    Note rowNote(int row, const AlarmRow &alarm) const;
    void show(const QString &key, const Note &note);
    void close(const QString &key);
    // Sends what changed, unless the service still has to answer for this notification.
    void update(const QString &key);
    void delivered(const QString &key, QDBusPendingCallWatcher *call);
    QVariantList notifyArguments(const Shown &shown) const;
    QString keyOf(uint id) const;

    QDBusConnection bus;
    AlarmModel *alarms;
    Stars *stars;
    ServiceState service = ServiceState::Asked;
    QStringList capabilities;
    // By "row N", "link" or "peer DESK".
    QMap<QString, Shown> shown;
    bool linkWasUp = false;
    bool userClosedLink = false;
};
