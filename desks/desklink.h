#pragma once

#include <QColor>
#include <QLoggingCategory>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class AMsg;
class AlarmModel;
class SoundWatch;
class Stars;
struct AlarmTransition;
struct DeskMessage;

// Desk messages that are ignored, one line each (velmar.desks).
Q_DECLARE_LOGGING_CATEGORY(lcDesks)

// This desk as one of a room's desks (DESKS): it tells the peer desks over Stars when its
// operator acknowledges an alarm and when its sound output is lost or back, and takes what they
// tell: a peer's acknowledgement acknowledges the same alarms here, and it is the one owner of
// which peer desks cannot sound. Only the named desks are heard, and a peer's acknowledgement is
// never told on, so that desks do not echo each other.
class DeskLink : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeskLink)

public:
    // The peer desks by node name; this desk's own name among them is passed over, so that every
    // desk can read the same list.
    DeskLink(const QStringList &desks, Stars *stars, AlarmModel *alarms, QObject *parent);

    // The peers learn when the watched sound output is lost and when it is back.
    void watchSound(SoundWatch *watch);
    // After each log-in, once the client's own subscriptions are sent: subscribes to the peer
    // desks and tells them whether this desk can sound, as soon as that is known.
    void loggedIn();

    // The peer desks that cannot sound, each with the reason it gave.
    const QMap<QString, QString> &silentDesks() const;
    // "Desk Zendri2 cannot sound: REASON" or "Desk Zendri2 can sound again".
    QString soundText(const QString &desk) const;

signals:
    // The desk became one that cannot sound, or one that can again.
    void silentDesksChanged(const QString &desk);
    void log(const QString &msg, const QColor &c);

private:
    enum class Told { Nothing, Lost, Back };

    void eventArrived(const AMsg &msg);
    void rowChanged(const AlarmTransition &transition);
    void tellSound();
    void acknowledgeHere(const QString &desk, const DeskMessage &message);
    void setCannotSound(const QString &desk, const QString &reason);
    void setCanSound(const QString &desk);
    bool isPeer(const QString &node) const;
    bool isLoggedIn() const;

    const QStringList desks;
    Stars *stars;
    AlarmModel *alarms;
    SoundWatch *sound = nullptr;
    QMap<QString, QString> silent;
    // What the peers last learnt of this desk's sound since the log-in.
    Told told = Told::Nothing;
    // The alarms (sender, event) told since the event loop last turned, so that Ack all or
    // Silence tells each once, however many rows it acknowledged.
    QSet<QPair<QString, QString>> toldNow;
    QTimer turn;
};
