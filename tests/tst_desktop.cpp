#include <QtDBus>
#include <QtTest>

#include "alarm/alarmmodel.h"
#include "body/body.h"
#include "debugcapture.h"
#include "desktop/deskcontrol.h"
#include "desktop/desktopnotifier.h"
#include "sessionbus.h"
#include "stars/stars.h"
#include "support.h"

namespace {

// "Muted=true Unacknowledged=1"
QString text(const QVariantMap &properties)
{
    QStringList values;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        values << it.key() + '=' + it->toString();
    return values.join(' ');
}

QDBusConnection connection(const char *name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

} // namespace

// Velmar on the desktop, against a session bus of the suite's own on which the suite is the
// notification service (its public slots) and another program: the notifications and their
// actions, the control interface, and nothing of either without their keys.
class TestDesktop : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout);
    void CloseNotification(uint id) { calls << QStringLiteral("close %1").arg(id); }

private slots:
    void initTestCase();
    void cleanup();
    void notifications_data();
    void notifications();
    void keysAbsent();
    void control_data();
    void control();

    // The control interface's signals, as another program on the bus receives them.
    void alarmChanged(const QString &row, const QString &state) { seen << row + ' ' + state; }
    void propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &) { seen << text(changed); }

private:
    bool serveNotifications(const QStringList &capabilities);
    // Sends the service's signal, or the same from another program.
    void send(const QString &signal, const QVariantList &arguments, bool fromOther = false);

    SessionBus bus;
    QTemporaryDir dir;
    QStringList capabilities;
    uint lastId = 0;
    // "REPLACED>ID SUMMARY | BODY | ACTION,LABEL,... | URGENCY[ resident]" for each Notify, with hh:mm:ss
    // as T; "close ID" for each CloseNotification.
    QStringList calls;
    QStringList seen;
};

uint TestDesktop::Notify(const QString &, uint replaces, const QString &, const QString &summary, const QString &body,
                         const QStringList &actions, const QVariantMap &hints, int)
{
    const uint id = replaces != 0 ? replaces : ++lastId;
    const QVariant urgency = hints.value("urgency");
    calls << QStringLiteral("%1>%2 %3 | %4 | %5 | %6%7").arg(replaces).arg(id).arg(summary, body, actions.join(','))
                 .arg(urgency.userType() == QMetaType::UChar ? QString::number(urgency.toInt()) : "not a byte", hints.value("resident").toBool() ? " resident" : "")
                 .replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "T");
    return id;
}

void TestDesktop::initTestCase()
{
    QVERIFY(bus.start());
    QVERIFY(connection("other").connect(DeskControl::Name, DeskControl::ObjectPath, DeskControl::Name, "AlarmChanged", this, SLOT(alarmChanged(QString, QString))));
    QVERIFY(connection("other").connect(DeskControl::Name, DeskControl::ObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", this, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile("Zendri.key", "k0\n"));
    QVERIFY(writeWav("a.wav"));
}

// What the window or notifier sent the service so far has arrived there: the answer to a call
// comes after it.
static void reachService()
{
    QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(DesktopNotifier::Service, DesktopNotifier::Path, DesktopNotifier::Service, "GetCapabilities"), QDBus::BlockWithGui, SessionBus::Wait);
}

void TestDesktop::cleanup()
{
    reachService();
    connection("notifications").unregisterService(DesktopNotifier::Service);
    connection("notifications").unregisterObject(DesktopNotifier::Path);
    calls.clear();
    seen.clear();
}

bool TestDesktop::serveNotifications(const QStringList &capabilities)
{
    this->capabilities = capabilities;
    lastId = 0;
    return connection("notifications").registerObject(DesktopNotifier::Path, this, QDBusConnection::ExportAllSlots) && connection("notifications").registerService(DesktopNotifier::Service);
}

void TestDesktop::send(const QString &signal, const QVariantList &arguments, bool fromOther)
{
    QDBusMessage message = QDBusMessage::createSignal(DesktopNotifier::Path, DesktopNotifier::Service, signal);
    message.setArguments(arguments);
    connection(fromOther ? "other" : "notifications").send(message);
}

// Steps on rows A and B (B critical): e0 an event from Dev for row 0, a0 its acknowledgement
// here, p0 at a peer desk, n0:X its ring not heard for X, m Mute; i1:ACTION the service's
// ActionInvoked for notification 1, x1:ACTION the same from another program, c1 the service
// closed it (as the operator can); u and d the link up and down, o the operator closing it, P and
// Q the peer desk Zendri2 without sound and with it again. Each step's calls to the service, joined by "; ".
void TestDesktop::notifications_data()
{
    QTest::addColumn<QString>("capabilities");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("calls");

    const QString a = "Dev Alarm | [A] at T", b = "Dev Alarm | [B] at T", acts = " | default,Acknowledge,acknowledge,Acknowledge | ", none = " |  | ";
    QTest::newRow("a ring, replaced by an event, closed by its acknowledgement; then a new one") << "actions" << "e0 e0 a0 e0"
        << QStringList {"0>1 " + a + acts + "1", "1>1 " + a + ", 2 events" + acts + "1", "close 1", "0>2 " + a + ", 3 events" + acts + "1"};
    QTest::newRow("the action acknowledges its row only, others' actions nothing; closed by the service, a change opens a new one")
        << "actions" << "e0 e1 c1 x2:acknowledge i7:acknowledge i2:other i2:default e0"
        << QStringList {"0>1 " + a + acts + "1", "0>2 " + b + acts + "2 resident", "", "", "", "", "close 2", "0>3 " + a + ", 2 events" + acts + "1"};
    QTest::newRow("not heard is critical, markup escaped; a peer's acknowledgement closes") << "actions body-markup" << "e0 n0:<no> p0"
        << QStringList {"0>1 " + a + acts + "1", "1>1 " + a + "\nNot heard: &lt;no&gt;" + acts + "2 resident", "close 1"};
    QTest::newRow("no actions without the capability; none while muted but critical; the link lost after a log-in; a peer desk without sound; the operator's own close")
        << "body" << "m e0 e1 d u d u P Q o d" << QStringList {"", "", "0>1 " + b + none + "2 resident", "", "",
           "0>2 Stars link lost | h:1 at T" + none + "2 resident", "close 2", "0>3 Zendri2 cannot sound | no device" + none + "2 resident", "close 3", "", ""};
    QTest::newRow("no service") << "none" << "e0" << QStringList {""};
}

void TestDesktop::notifications()
{
    QFETCH(QString, capabilities);
    QFETCH(QString, steps);
    QFETCH(QStringList, calls);
    const bool served = capabilities != "none";
    QVERIFY(!served || serveNotifications(capabilities.split(' ', Qt::SkipEmptyParts)));
    const DebugCapture debug("velmar.desktop");
    AlarmModel alarms({"A", "B"}, AlarmSettings {0, false, {"B"}});
    Stars stars;
    stars.hostField()->setText("h");
    stars.portField()->setText("1");
    DesktopNotifier notifier(QDBusConnection::sessionBus(), &alarms, &stars);
    QSignalSpy checked(&notifier, &DesktopNotifier::serviceChecked);
    QVERIFY(checked.wait(SessionBus::Wait));
    QCOMPARE(checked.at(0).at(0).toBool(), served);
    QCOMPARE(debug.lines.filter("no desktop notifications:").size(), served ? 0 : 1);

    for (int i = 0; i < calls.size(); ++i) {
        const QString step = steps.section(' ', i, i);
        const QStringList part = step.mid(1).split(':');
        const int row = part.at(0).toInt();
        const int before = this->calls.size();
        switch (step.at(0).toLatin1()) {
        case 'e': alarms.takeEvent({"Dev", "Alarm", {}, QDateTime::currentMSecsSinceEpoch(), {row}}); break;
        case 'a': alarms.acknowledge(row, Acknowledgement::here()); break;
        case 'p': alarms.acknowledge(row, {AlarmCause::Peer, "bob@b", "Zendri2"}); break;
        case 'n': alarms.notHeard(row, part.value(1)); break;
        case 'm': alarms.setQuietTo(AlarmModel::Quiet::Muted); break;
        case 'i': case 'x': send("ActionInvoked", {uint(row), part.value(1)}, step.startsWith('x')); break;
        case 'c': send("NotificationClosed", {uint(row), 2u}); break;
        case 'u': case 'd': emit stars.linkStateChanged(step == "u" ? LinkState::LoggedIn : LinkState::Down); break;
        case 'o': emit stars.connectionRequested(false); break;
        case 'P': case 'Q': notifier.peerSoundChanged("Zendri2", step == "P", "no device"); break;
        }
        reachService();
        QTRY_COMPARE(this->calls.mid(before).join("; "), calls.at(i));
    }
}

// Without the keys nothing goes on the bus and nothing is notified.
void TestDesktop::keysAbsent()
{
    QVERIFY(serveNotifications({"actions"}));
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "EVENT Alarm a.wav 50 Dev\n"));
    Body body;
    acceptLogIn(server, "Dev>Zendri _Alarm\nDev>Zendri Hello\n", 1);
    QCOMPARE(QDBusConnection::sessionBus().interface()->registeredServiceNames().value().filter("velmar"), QStringList());
    QCOMPARE(calls, QStringList());
}

void TestDesktop::control_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    // The error's name, or empty.
    QTest::addColumn<QString>("error");
    // The signals: a row's new state, or the properties changed.
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("properties");

    const QString after = "LinkState=logged in Muted=false SoundOutput=not watched Unacknowledged=";
    const QStringList quiet {"Alarm unacknowledged"}, acked {"Alarm acknowledged", "Unacknowledged=0"};
    QTest::newRow("Silence") << "Silence" << QVariantList() << "" << acked << after + '0';
    QTest::newRow("SetMuted") << "SetMuted" << QVariantList {true} << "" << QStringList {"Muted=true"} + quiet << QString(after + '1').replace("false", "true");
    QTest::newRow("Snooze") << "Snooze" << QVariantList {15u} << "" << quiet << after + '1';
    QTest::newRow("Snooze too long") << "Snooze" << QVariantList {1441u} << "org.freedesktop.DBus.Error.InvalidArgs" << QStringList() << after + '1';
    QTest::newRow("Acknowledge") << "Acknowledge" << QVariantList {"Alarm"} << "" << acked << after + '0';
    QTest::newRow("Acknowledge an unknown row") << "Acknowledge" << QVariantList {"Nope"} << "dev.velmar.Velmar.Error.UnknownRow" << QStringList() << after + '1';
    QTest::newRow("AcknowledgeAll") << "AcknowledgeAll" << QVariantList() << "" << acked << after + '0';
    QTest::newRow("Raise") << "Raise" << QVariantList() << "" << QStringList() << after + '1';
}

// The main window with a row that rings until acknowledged, its notification shown, its control
// interface called by another program. An acknowledgement over the bus closes the notification,
// and so does the window when it goes.
void TestDesktop::control()
{
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, sent);
    QFETCH(QString, properties);
    QVERIFY(serveNotifications({"actions"}));
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "EVENT Alarm a.wav 50 Dev\nREPEAT_UNTIL_ACK 1\nNOTIFY 1\nDBUS 1\n"));
    auto body = std::make_unique<Body>();
    body->showMinimized();
    acceptLogIn(server, "Dev>Zendri _Alarm\n");
    QTRY_COMPARE(calls.size(), 1);
    QTRY_VERIFY(seen.join(", ").endsWith("LinkState=logged in, Alarm ringing, Unacknowledged=1"));
    seen.clear();

    const auto call = [](const QString &interface, const QString &name, const QVariantList &arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(DeskControl::Name, DeskControl::ObjectPath, interface, name);
        message.setArguments(arguments);
        return connection("other").call(message, QDBus::BlockWithGui, SessionBus::Wait);
    };
    const QDBusMessage reply = call(DeskControl::Name, method, arguments);
    QCOMPARE(reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString(), error);
    QCOMPARE(text(qdbus_cast<QVariantMap>(call("org.freedesktop.DBus.Properties", "GetAll", {DeskControl::Name}).arguments().value(0))), properties);
    QTRY_COMPARE(seen, sent);
    QCOMPARE(calls.size(), properties.endsWith('0') ? 2 : 1);
    QCOMPARE(body->isMinimized(), method != "Raise");
    body.reset();
    QTRY_COMPARE(calls, QStringList({"0>1 Dev Alarm | [Alarm] at T | default,Acknowledge,acknowledge,Acknowledge | 1", "close 1"}));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
