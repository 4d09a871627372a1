#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>

class AlarmModel;
class QWidget;
class SoundWatch;
class Stars;
struct AlarmTransition;

// Velmar's control interface on the session bus, as dist/dev.velmar.Velmar.xml describes it
// (the adaptor is generated from that file and calls the slots below by their D-Bus names).
// The methods send the alarm model the intents of this desk's operator; the properties and the
// signal show the model, the link and the sound output, and announce their changes.
class DeskControl : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY(DeskControl)
    Q_PROPERTY(QString LinkState READ linkStateText)
    Q_PROPERTY(QString SoundOutput READ soundOutputText)
    Q_PROPERTY(uint Unacknowledged READ unacknowledged)
    Q_PROPERTY(bool Muted READ muted)

public:
    // The bus name, which is also the interface's name, and the object's path.
    static const QString Name;
    static const QString ObjectPath;
    static constexpr uint MaxSnoozeMinutes = 24 * 60;

    DeskControl(const QDBusConnection &bus, AlarmModel *alarms, Stars *stars, QWidget *window);
    ~DeskControl() override;

    // The properties follow what the watch finds.
    void watchSound(SoundWatch *watch);
    // Puts the object on the bus under Name, or under Name.NODE while another Velmar has Name.
    void registerFor(const QString &node);

    QString linkStateText() const;
    QString soundOutputText() const;
    uint unacknowledged() const;
    bool muted() const;

public slots:
    void Silence();
    void SetMuted(bool muted);
    void Snooze(uint minutes);
    void Acknowledge(const QString &row);
    void AcknowledgeAll();
    void Raise();

signals:
    void AlarmChanged(const QString &row, const QString &state);

private:
    void rowChanged(const AlarmTransition &transition);
    QVariantMap properties() const;
    // Sends PropertiesChanged with the properties whose values changed since they were last sent.
    void announceChanges();
    void refuse(const QString &error, const QString &message);

    QDBusConnection bus;
    AlarmModel *alarms;
    Stars *stars;
    QWidget *window;
    SoundWatch *soundWatch = nullptr;
    // The bus name it holds; empty while it is not on the bus.
    QString busName;
    QVariantMap announced;
};
