#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QMediaContent>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include "app/config.h"
#include "body/body.h"
#include "log/logarea.h"
#include "support.h"
#include "scriptedserver.h"
#include "sound/linkalarm.h"
#include "sound/sound.h"
#include "stars/connectstat.h"
#include "stars/stars.h"

namespace {

// Collects the main window's debug lines while it exists.
class BodyTrace
{
public:
    BodyTrace() : previous(qInstallMessageHandler(handle)) { current = this; }
    ~BodyTrace()
    {
        current = nullptr;
        qInstallMessageHandler(previous);
    }
    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (current && type == QtDebugMsg && qstrcmp(context.category, "velmar.body") == 0) {
            current->lines << msg;
            return;
        }
        if (current)
            current->previous(type, context, msg);
    }
    static inline BodyTrace *current = nullptr;
    QtMessageHandler previous;
};

// The rows in the order of their grid rows.
QList<Sound *> rowsOf(Body &body)
{
    QList<Sound *> rows;
    auto *layout = body.findChild<QGridLayout *>(QStringLiteral("ScrollAreaLayout"));
    if (!layout)
        return rows;
    for (int r = 0; r < layout->rowCount(); ++r) {
        if (QLayoutItem *item = layout->itemAtPosition(r, 0))
            rows << qobject_cast<Sound *>(item->widget());
    }
    return rows;
}

QString playedFile(Sound *row)
{
    return row->player().media().request().url().toLocalFile();
}

LogArea *logWindow();

// The log window's lines without their time stamps.
QStringList logLines()
{
    constexpr int StampLength = 23;
    QStringList lines = logWindow()->findChild<QTextEdit *>()->toPlainText().split(QLatin1Char('\n'));
    lines.removeLast();
    for (QString &line : lines)
        line.remove(0, StampLength);
    return lines;
}

LogArea *logWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *log = qobject_cast<LogArea *>(window))
            return log;
    }
    return nullptr;
}

} // namespace

// The main window: what it builds from the configuration and how it reacts to the client.
class TestBody : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rows_data();
    void rows();
    void startupConnection_data();
    void startupConnection();
    void fields_data();
    void fields();
    void showLog();
    void logWindowKeepsProgramAlive();
    void matching_data();
    void matching();
    void editsAfterStartUp();
    void debugLine();
    void subscriptions_data();
    void subscriptions();
    void linkKeys_data();
    void linkKeys();

private:
    // A fresh configuration from `text`; the client stays disconnected unless the text says.
    void useConfig(const QByteArray &text);
    QByteArray serverSettings() const;
    bool logInBody(Body &body);
    Stars *starsOf(Body &body) const;

    QTemporaryDir *dir = nullptr;
    ScriptedServer *server = nullptr;
    QString keyPath;
};

void TestBody::initTestCase()
{
    // The client writes its address history to the working directory.
    static QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    QVERIFY(QDir::setCurrent(workDir.path()));
}

void TestBody::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    keyPath = dir->filePath("Zendri.key");
    QVERIFY(writeFile(keyPath, "k0\n"));
    server = new ScriptedServer;
    QVERIFY(server->isListening());
}

void TestBody::cleanup()
{
    delete server;
    server = nullptr;
    delete dir;
    dir = nullptr;
    config = Config();
}

void TestBody::useConfig(const QByteArray &text)
{
    const QString path = dir->filePath("body.cfg");
    QVERIFY(writeFile(path, text));
    config = Config();
    config.loadFile(path);
}

QByteArray TestBody::serverSettings() const
{
    return "STARS_IP 127.0.0.1\nSTARS_PORT " + QByteArray::number(server->port())
           + "\nKEY_ON_STARS \"" + keyPath.toUtf8() + "\"\n";
}

Stars *TestBody::starsOf(Body &body) const
{
    return body.findChild<Stars *>(QStringLiteral("StarsCtrl"));
}

bool TestBody::logInBody(Body &body)
{
    Stars *stars = starsOf(body);
    return stars && logIn(*server, *stars);
}

void TestBody::rows_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("no events") << QByteArray() << QStringList();
    QTest::newRow("event without file") << QByteArray("EVENT Alarm\n") << QStringList();
    QTest::newRow("event and file only")
        << QByteArray("EVENT Alarm a.wav\n") << QStringList { "a.wav" };
    QTest::newRow("second of three unusable")
        << QByteArray("EVENT A a.wav 10 X\nEVENT B\nEVENT C c.wav\n")
        << QStringList { "a.wav", "", "c.wav" };
    QTest::newRow("quoted event names")
        << QByteArray("EVENT \"Alarm Fire\" \"my sound.wav\" 20\n") << QStringList { "my sound.wav" };
}

// Each usable entry gets the grid row of its index; an unusable one leaves its row empty.
void TestBody::rows()
{
    QFETCH(QByteArray, events);
    QFETCH(QStringList, files);
    useConfig("CONNECT_TO_STARS 0\n" + events);
    Body body;

    auto *layout = body.findChild<QGridLayout *>(QStringLiteral("ScrollAreaLayout"));
    QVERIFY(layout);
    for (int r = 0; r < files.size(); ++r) {
        QLayoutItem *item = layout->itemAtPosition(r, 0);
        if (files.at(r).isEmpty()) {
            QVERIFY2(!item, qPrintable(QString::number(r)));
            continue;
        }
        QVERIFY2(item, qPrintable(QString::number(r)));
        auto *row = qobject_cast<Sound *>(item->widget());
        QVERIFY(row);
        QCOMPARE(row->findChild<QLineEdit *>(QStringLiteral("SoundFile"))->text(), files.at(r));
    }
    QCOMPARE(rowsOf(body).size(), int(files.count() - files.count(QString())));
}

void TestBody::startupConnection_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<bool>("connects");

    QTest::newRow("0") << QByteArray("CONNECT_TO_STARS 0\n") << false;
    QTest::newRow("yes") << QByteArray("CONNECT_TO_STARS yes\n") << false;
    QTest::newRow("2") << QByteArray("CONNECT_TO_STARS 2\n") << false;
    QTest::newRow("01") << QByteArray("CONNECT_TO_STARS 01\n") << true;
    QTest::newRow("lower-case key") << QByteArray("connect_to_stars 1\n") << true;
    QTest::newRow("absent") << QByteArray() << true;
}

void TestBody::startupConnection()
{
    QFETCH(QByteArray, entry);
    QFETCH(bool, connects);
    useConfig(serverSettings() + entry);
    Body body;

    if (connects) {
        QVERIFY(server->waitForClient(10000));
        return;
    }
    QVERIFY(!server->waitForClient(1000));
    QCOMPARE(starsOf(body)->connectionState(), int(ConnectStat::Disconnected));
    // The user can still connect by hand, and that connection is the first one.
    QVERIFY(logInBody(body));
    QCOMPARE(server->clientCount(), 1);
}

void TestBody::fields_data()
{
    QTest::addColumn<QByteArray>("entries");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("defaults") << QByteArray()
                              << QStringList { "localhost", "6057", "Zendri", "Zendri.key" };
    QTest::newRow("from the file")
        << QByteArray("stars_ip 10.1.2.3\nSTARS_PORT 7000\nName_On_Stars Orbit\n"
                      "KEY_ON_STARS \"my keys.txt\"\nSTARS_IP ignored\n")
        << QStringList { "10.1.2.3", "7000", "Orbit", "my keys.txt" };
}

void TestBody::fields()
{
    QFETCH(QByteArray, entries);
    QFETCH(QStringList, expected);
    useConfig("CONNECT_TO_STARS 0\n" + entries);
    Body body;

    const QStringList names { "hostLE", "portLE", "nameOnStarsLE", "keyFileLE" };
    for (int i = 0; i < names.size(); ++i) {
        auto *field = body.findChild<QLineEdit *>(names.at(i));
        QVERIFY2(field, qPrintable(names.at(i)));
        QCOMPARE(field->text(), expected.at(i));
    }
}

void TestBody::showLog()
{
    useConfig("CONNECT_TO_STARS 0\n");
    Body body;
    body.show();
    auto *box = body.findChild<QCheckBox *>(QStringLiteral("ShowLog"));
    QVERIFY(box);
    LogArea *log = logWindow();
    QVERIFY(log);

    QVERIFY(!box->isChecked());
    QVERIFY(!log->isVisible());
    box->setChecked(true);
    QVERIFY(log->isVisible());
    box->setChecked(false);
    QVERIFY(!log->isVisible());

    box->setChecked(true);
    log->close();
    QVERIFY(!log->isVisible());
    QVERIFY(box->isChecked());
}

// Both windows are top-level: the program ends only when the log window is closed as well.
void TestBody::logWindowKeepsProgramAlive()
{
    useConfig("CONNECT_TO_STARS 0\n");
    Body body;
    body.show();
    body.findChild<QCheckBox *>(QStringLiteral("ShowLog"))->setChecked(true);
    QVERIFY(logWindow()->isVisible());

    // Had closing the main window ended the loop, the second step would never run.
    bool ranAfterMainClosed = false;
    bool guardFired = false;
    QTimer::singleShot(0, &body, [&] {
        body.close();
        QTimer::singleShot(50, qApp, [&] {
            ranAfterMainClosed = true;
            logWindow()->close();
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [&] {
        guardFired = true;
        QApplication::quit();
    });
    guard.start(10000);
    QApplication::exec();
    QVERIFY(ranAfterMainClosed);
    QVERIFY(!guardFired);
}

void TestBody::matching_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<bool>>("played");

    const QByteArray dev = "EVENT Alarm dev.wav 50 Dev\n";
    QTest::newRow("blank sender") << QByteArray("EVENT Alarm a.wav\n")
                                  << QByteArray("Other>Zendri _Alarm") << QList<bool> { true };
    QTest::newRow("exact sender") << dev << QByteArray("Dev>Zendri _Alarm") << QList<bool> { true };
    QTest::newRow("other sender") << dev << QByteArray("Other>Zendri _Alarm")
                                  << QList<bool> { false };
    QTest::newRow("sender with channel") << dev << QByteArray("Dev.ch1>Zendri _Alarm")
                                         << QList<bool> { false };
    QTest::newRow("single blank sender") << QByteArray("EVENT Alarm a.wav 50 \" \"\n")
                                         << QByteArray("Dev>Zendri _Alarm") << QList<bool> { true };
    QTest::newRow("trailing blank sender") << QByteArray("EVENT Alarm a.wav 50 \"Dev \"\n")
                                           << QByteArray("Dev>Zendri _Alarm")
                                           << QList<bool> { false };
    QTest::newRow("event case") << dev << QByteArray("Dev>Zendri _alarm") << QList<bool> { false };
    QTest::newRow("one of several names")
        << QByteArray("EVENT \"Fire Alarm\" a.wav\n") << QByteArray("Dev>Zendri _Alarm")
        << QList<bool> { true };
    QTest::newRow("two rows, one event")
        << QByteArray("EVENT Alarm a.wav\nEVENT Fire f.wav\nEVENT Alarm b.wav 10 Dev\n")
        << QByteArray("Dev>Zendri _Alarm") << QList<bool> { true, false, true };
    QTest::newRow("an ask plays nothing") << dev << QByteArray("Dev>Zendri Alarm")
                                          << QList<bool> { false };
}

// An event plays every row that lists it and whose sender field is blank or equals the sender.
void TestBody::matching()
{
    QFETCH(QByteArray, events);
    QFETCH(QByteArray, line);
    QFETCH(QList<bool>, played);
    useConfig("CONNECT_TO_STARS 0\n" + serverSettings() + events);
    Body body;
    const QList<Sound *> rows = rowsOf(body);
    QCOMPARE(rows.size(), played.size());
    QVERIFY(logInBody(body));

    // The answer to the ask that follows shows that the line before it has been handled.
    server->send(line + "\nDev>Zendri Hello\n");
    QVERIFY(server->waitForLines(1, 10000));
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(!playedFile(rows.at(i)).isEmpty(), played.at(i));
        if (played.at(i))
            QCOMPARE(QFileInfo(playedFile(rows.at(i))).fileName(),
                     rows.at(i)->findChild<QLineEdit *>(QStringLiteral("SoundFile"))->text());
    }
}

// The event names are fixed when the row is built; sender, file and volume are read at each event.
void TestBody::editsAfterStartUp()
{
    useConfig("CONNECT_TO_STARS 0\n" + serverSettings() + "EVENT Alarm a.wav 50 Dev\n");
    Body body;
    const QList<Sound *> rows = rowsOf(body);
    QCOMPARE(rows.size(), 1);
    Sound *row = rows.first();
    row->findChild<QLineEdit *>(QStringLiteral("SoundEvents"))->setText(QStringLiteral("Fire"));
    row->findChild<QLineEdit *>(QStringLiteral("Sender"))->setText(QStringLiteral("Other"));
    row->findChild<QLineEdit *>(QStringLiteral("SoundFile"))->setText(QStringLiteral("b.wav"));
    row->findChild<QLineEdit *>(QStringLiteral("Volume"))->setText(QStringLiteral("loud"));
    QVERIFY(logInBody(body));

    server->send("Other>Zendri _Fire\nDev>Zendri _Alarm\nDev>Zendri Hello\n");
    QVERIFY(server->waitForLines(1, 10000));
    QVERIFY(playedFile(row).isEmpty());
    server->send("Other>Zendri _Alarm\nDev>Zendri Hello\n");
    QVERIFY(server->waitForLines(2, 10000));
    QCOMPARE(playedFile(row), QFileInfo(QStringLiteral("b.wav")).absoluteFilePath());
    QCOMPARE(row->player().volume(), 0);
}

void TestBody::debugLine()
{
    useConfig("CONNECT_TO_STARS 0\n" + serverSettings()
              + "EVENT Alarm a.wav 50 Dev\nEVENT \"Fire Smoke\" b.wav\n");
    BodyTrace trace;
    Body body;
    QVERIFY(logInBody(body));

    server->send("Dev>Zendri _Alarm\n");
    QTRY_COMPARE_WITH_TIMEOUT(trace.lines.size(), 2, 10000);
    QCOMPARE(trace.lines, (QStringList { R"("Alarm" ("Alarm") true "Dev" "Dev" true)",
                                         R"("Alarm" ("Fire", "Smoke") false "Dev" "" false)" }));
}

void TestBody::subscriptions_data()
{
    QTest::addColumn<QByteArray>("flgon");
    QTest::addColumn<QList<QByteArray>>("sent");

    QTest::newRow("two nodes") << QByteArray("FLGON a\nflgon b\n")
                               << QList<QByteArray> { "Zendri>System flgon a",
                                                      "Zendri>System flgon b" };
    QTest::newRow("no value") << QByteArray("FLGON\n")
                              << QList<QByteArray> { "Zendri>System flgon " };
    QTest::newRow("none") << QByteArray() << QList<QByteArray>();
}

// After each log-in, one flgon per FLGON entry, before anything else the client sends.
void TestBody::subscriptions()
{
    QFETCH(QByteArray, flgon);
    QFETCH(QList<QByteArray>, sent);
    useConfig(serverSettings() + flgon);
    Body body;

    for (int login = 0; login < 2; ++login) {
        if (login > 0) {
            server->dropClient();
            QTRY_COMPARE_WITH_TIMEOUT(starsOf(body)->connectionState(),
                                      int(ConnectStat::Disconnected), 10000);
            starsOf(body)->connectToStars();
        }
        QVERIFY(server->waitForClient(10000));
        server->send("0\n");
        QVERIFY(server->waitForLines(1, 10000));
        server->clearReceived();
        // The ask after the acceptance marks where the subscriptions must have ended.
        server->send("System>Zendri Ok:\nDev>Zendri Hello\n");
        QVERIFY(server->waitForLines(sent.size() + 1, 10000));
        QList<QByteArray> lines = server->lines();
        QCOMPARE(lines.takeLast(), QByteArray("Zendri>Dev @Hello Hello! I am Zendri. Nice to meet you!"));
        QCOMPARE(lines, sent);
    }
}

void TestBody::linkKeys_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QStringList>("afterDrop");

    QTest::newRow("none") << QByteArray("UNKNOWN_KEY 1\n") << QStringList();
    QTest::newRow("all")
        << QByteArray("RECONNECT_SEC 1\nLINK_TIMEOUT_SEC 5\nLINK_LOST_SOUND a.wav 10 5\nSHOW_SOUND_ERRORS 1\n")
        << QStringList { "Lost the Stars link to 127.0.0.1:%1: The remote host closed the connection",
                         "Trying Stars at 127.0.0.1:%1 again in 1 s" };
}

// Without the link keys a drop leaves the client down and the log as it was; with them the
// client says why, rings the alarm, logs in again and subscribes again.
void TestBody::linkKeys()
{
    QFETCH(QByteArray, keys);
    QFETCH(QStringList, afterDrop);
    useConfig(serverSettings() + "FLGON Dev\nEVENT Alarm missing.wav 50\n" + keys);
    Body body;
    const QStringList logIn { "opening key file [" + keyPath + "]", "sending key [Zendri][k0]",
                              "---- Snd Zendri>System flgon Dev", "Connected To Stars" };
    QVERIFY(server->waitForClient(10000));
    server->send("0\n");
    QVERIFY(server->waitForLines(1, 10000));
    QCOMPARE(server->received(), QByteArray("Zendri k0\n"));
    server->clearReceived();
    server->send("System>Zendri Ok:\n");
    QVERIFY(server->waitForLines(1, 10000));
    QCOMPARE(server->received(), QByteArray("Zendri>System flgon Dev\n"));
    QMetaObject::invokeMethod(rowsOf(body).first(), "play");
    QTRY_COMPARE(rowsOf(body).first()->player().mediaStatus(), QMediaPlayer::InvalidMedia);

    auto *alarm = body.findChild<LinkAlarm *>();
    QCOMPARE(alarm != nullptr, !afterDrop.isEmpty());
    const QStringList before = logLines();
    server->closeClient();
    if (afterDrop.isEmpty()) {
        QVERIFY(!server->waitForClient(1500));
        QCOMPARE(before, logIn);
        QCOMPARE(logLines(), before);
        return;
    }
    QCOMPARE(before.first(), QStringLiteral("No audio output device: sounds cannot be heard"));
    QVERIFY(before.last().startsWith("Can't play the sound for [Alarm] from ["));
    QTRY_COMPARE(logLines().mid(before.size()), afterDrop.replaceInStrings("%1", QString::number(server->port())));
    QVERIFY(alarm->isRinging());
    QVERIFY(server->waitForClient(10000));
    server->send("0\n");
    QVERIFY(server->waitForLines(1, 10000));
    server->clearReceived();
    server->send("System>Zendri Ok:\n");
    QVERIFY(server->waitForLines(1, 10000));
    QCOMPARE(server->received(), QByteArray("Zendri>System flgon Dev\n"));
    QVERIFY(!alarm->isRinging());
    QTRY_COMPARE(logLines().filter(QRegularExpression("^Stars link was down 00:00:0\\d$")).size(), 1);
}

QTEST_MAIN(TestBody)
#include "tst_body.moc"
