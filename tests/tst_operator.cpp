#include <QtTest>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "app/config.h"
#include "body/body.h"
#include "operator/linkstatus.h"
#include "operator/traynotifier.h"
#include "scriptedserver.h"
#include "stars/stars.h"
#include "support.h"

namespace {

const QByteArray HornKeys = "OPERATOR_BAR 1\nEVENT_HOLDOFF_MS 60000\nREPEAT_UNTIL_ACK 1\n";

// Every widget of the window by its path of object names, with its place in the window.
QMap<QString, QRect> places(QWidget &window)
{
    QMap<QString, QRect> result;
    const QList<QWidget *> widgets = window.findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        QString path;
        for (QObject *o = widget; o != &window; o = o->parent())
            path.prepend('/' + o->objectName());
        result.insert(path, QRect(widget->mapTo(&window, QPoint()), widget->size()));
    }
    return result;
}

QString text(QWidget &window, const char *name)
{
    QWidget *widget = window.findChild<QWidget *>(name);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    return widget ? qobject_cast<QAbstractButton *>(widget)->text() : QStringLiteral("(none)");
}

QString lastLogLine()
{
    return logWindowLines().value(logWindowLines().size() - 1);
}

} // namespace

// The operator's bar and the rows' buttons in the main window, and the tray icon's messages.
class TestOperator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void keysAddOnlyTheBar();
    void barAndRowsFollowTheHorn();
    void trayFoldsEvents();
};

void TestOperator::initTestCase()
{
    static QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile("Zendri.key", "k0\n"));
    QVERIFY(writeWav("a.wav"));
}

void TestOperator::cleanup()
{
    config = Config();
}

// Today's widgets keep their places and sizes; the window grows by the bar.
void TestOperator::keysAddOnlyTheBar()
{
    const QByteArray rows = "CONNECT_TO_STARS 0\nEVENT Alarm a.wav 50 Dev\nEVENT Ping a.wav\n";
    QVERIFY(loadConfig(rows));
    Body plain;
    plain.show();
    QVERIFY(loadConfig(rows + HornKeys + "TRAY 1\n"));
    Body operated;
    operated.show();

    QCOMPARE(operated.width(), plain.width());
    const QMap<QString, QRect> before = places(plain);
    const QMap<QString, QRect> after = places(operated);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(after.value(it.key()), it.value());
    for (const QString &path : after.keys())
        QVERIFY2(before.contains(path) || path.startsWith("/OperatorBar"), qPrintable(path));
}

void TestOperator::barAndRowsFollowTheHorn()
{
    ScriptedServer server;
    QVERIFY(loadConfig(serverConfig(server) + "EVENT Alarm a.wav 50 Dev\n" + HornKeys));
    Body body;
    body.show();
    QApplication::setActiveWindow(&body);
    QVERIFY(QTest::qWaitForWindowActive(&body));
    acceptLogIn(server);
    QTRY_COMPARE(text(body, "LinkL"), QStringLiteral("logged in"));

    server.send("Dev>Zendri _Alarm\nDev>Zendri _Alarm\nDev>Zendri _Alarm\n");
    QTRY_COMPARE(text(body, "CountersL"), QStringLiteral("events 3 · matched 3 · held 0"));
    QCOMPARE(text(body, "Play"), QStringLiteral("Ack"));
    QCOMPARE(text(body, "HeldBack"), QStringLiteral("×2"));

    QTest::keyClick(&body, Qt::Key_Escape);
    QCOMPARE(text(body, "Play"), QStringLiteral("Play"));
    QTRY_COMPARE(lastLogLine(), QStringLiteral("Horn silenced"));

    QTest::keyClick(&body, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(body.findChild<QPushButton *>("MuteB")->isChecked());
    server.send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE(lastLogLine(), QStringLiteral("Muted: Dev Alarm for [Alarm]"));
    QCOMPARE(text(body, "CountersL"), QStringLiteral("events 4 · matched 4 · held 1"));
    body.findChild<QPushButton *>("Snooze5B")->click();
    QCOMPARE(text(body, "SnoozeL"), QStringLiteral("00:05:00 left"));

    server.dropClient();
    QTRY_VERIFY(text(body, "LinkL").startsWith("down since "));
}

void TestOperator::trayFoldsEvents()
{
    QWidget window;
    window.setWindowTitle("Velmar");
    Stars stars;
    LinkStatus link(&stars, nullptr);
    TrayNotifier tray(&window, &link, 100);
    QSignalSpy messages(&tray, &TrayNotifier::notified);

    for (const char *event : {"Alarm", "Fire", "Smoke", "Flood"})
        tray.eventMatched("Dev", event);
    QCOMPARE(messages.size(), 1);
    QVERIFY(tray.icon().toolTip().startsWith("Dev: Flood "));
    QTRY_COMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("Dev: Alarm"));
    QCOMPARE(messages.at(1).at(0).toString(), QStringLiteral("Dev: Flood (and 2 more)"));
    QVERIFY(!tray.icon().icon().isNull());
}

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
