#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "clientfixture.h"
#include "debugcapture.h"
#include "support.h"
#include "stars/cmdtable.h"
#include "stars/connectstat.h"

// The Stars client against a scripted server: log-in, receive loop, dispatch, sending and the
// address history; and the command table and connection status it is built on.
class TestStars : public QObject
{
    Q_OBJECT

private slots:
    void session_data();
    void session();
    void history_data();
    void history();
    void connectButton_data();
    void connectButton();
    void cmdList();
};

void TestStars::session_data()
{
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("done");

    const int off = ConnectStat::Disconnected;
    const int connecting = ConnectStat::Connecting;
    const int on = ConnectStat::Connected;
    using Script = QByteArrayList;
    using Done = QStringList;
    const QString hi = " @Hello Hello! I am Zendri. Nice to meet you!";
    // Steps: bytes for the server to send; "<key>" waits for the key line; "<login>" is the whole
    // log-in, after which the received bytes are cleared; "<close>" is the server closing the
    // connection, "<click>" the user clicking the connect button; "=KEYS" writes the key file;
    // "!SLOT|ARG|..." is a call of the client's.
    QTest::newRow("index padded") << Script{"  7 \t\r\n", "<key>"} << connecting << Done{"Zendri k1"};
    QTest::newRow("negative index") << Script{"-1\n", "<key>"} << connecting << Done{"Zendri k2"};
    QTest::newRow("index not a number") << Script{"7x\n", "<key>"} << connecting << Done{"Zendri k0"};
    QTest::newRow("key lines simplified, empty ones count") << Script{"=  k  1 \n\nk3\n", "3\n", "<key>"} << connecting << Done{"Zendri k 1"};
    QTest::newRow("no key: nothing sent, next line accepted") << Script{"=", "0\n", "System>Zendri Ok:\n"} << on << Done();
    QTest::newRow("index, acceptance, event in one packet") << Script{"2\nSystem>Zendri Ok: hi\r\nD>Zendri _A\n"} << on << Done{"Zendri k2", "event A 4 "};
    QTest::newRow("lower-case ok") << Script{"0\n", "<key>", "System>Zendri ok:\n"} << off << Done{"Zendri k0"};
    QTest::newRow("blank before System") << Script{"0\n", "<key>", " System>Zendri Ok:\n"} << off << Done{"Zendri k0"};
    QTest::newRow("refused, the rest dropped") << Script{"0\nno\nSystem>Zendri Ok:\nD>Zendri _A\nC>Zendri Hello\n"} << off << Done{"Zendri k0"};
    QTest::newRow("click while connected") << Script{"<login>", "<click>"} << off << Done();
    QTest::newRow("closed in the acceptance") << Script{"1\n", "<key>", "System>Zendri O", "<close>"} << off << Done{"Zendri k1"};
    QTest::newRow("closed in a message") << Script{"<login>", "D>Zendri _Ala", "<close>"} << off << Done();
    // The addressed node and channel answer, here "😀.é": one "?" for the emoji in Latin-1.
    QTest::newRow("built-in asks") << Script{"<login>", "C.ch>Zendri.x Hello a\nC>Zendri IsBusy\nC>\xf0\x9f\x98\x80.\xc3\xa9 Hello\n"} << on
                                   << Done{"Zendri.x>C.ch" + hi, "Zendri>C @IsBusy 0", "?.é>C" + hi};
    QTest::newRow("Help") << Script{"<login>", "C>Zendri Help\nC>Zendri Help IsBusy Hello\nC>Zendri Help %1\n"} << on
                          << Done{"Zendri>C @Help Commands : Hello Help IsBusy", "Zendri>C @Help : Answer if Zendri is busy",
                                  "Zendri>C @Help Er: Command [%1] not found."};
    QTest::newRow("handed on, built-in words too") << Script{"<login>", "C>Zendri help \"b c\"\nD>Zendri @Hello Hi\nD>Zendri _Help\n"
                                                                    "System>Zendri Ok:\n"} << on
                                                   << Done{"ask help 4 b c", "ans Hello 0 Hi", "event Help 1 ", "ask Ok: 4 "};
    QTest::newRow("no messages, a line longer than one read") << Script{"<login>", "C>Zendri\nCZendri Hello\nC>Zendri \"\" x\n \t\n\x01\x7f >>\n7\n\xff\xfe\n",
                                                                         "D>Zendri _B " + QByteArray(100000, 'x') + "\nD>Zendri _C\n"} << on
                                                              << Done{"event B 4 " + QString(100000, 'x'), "event C 4 "};
    QTest::newRow("sent as given") << Script{"<login>", "!cmdV|c|Dev|cmd|5", "!cmdV||Dev|cmd|", "!event|c|A 1", "!ok|C.>Other.q.r @Ask x",
                                             "!ok|%1>%2 %1"} << on
                                   << Done{"Zendri.c>Dev cmd 5", "Zendri>Dev cmd", "Zendri.c>System _A 1", "Other.q.r>C. @Ask Ok:", "%2>%1 @%1 Ok:"};
    // Busy is kept while disconnected, and only a change is announced.
    QTest::newRow("busy") << Script{"!busy|1", "<login>", "!busy|1", "!busy|0", "!busy|0", "!busy|1", "C>Zendri IsBusy\n"} << on
                          << Done{"Zendri>System _ChangedIsBusy 0", "Zendri>System _ChangedIsBusy 1", "Zendri>C @IsBusy 1"};
    QTest::newRow("sent or clicked while connecting") << Script{"0\n", "<key>", "!cmdV|c|Dev|cmd|5", "!ok|C>Zendri Hello", "<click>", "System>Zendri Ok:\n"}
                                                      << on << Done{"Zendri k0"};
}

// Whatever the server did, the client ends in the expected state having written (and echoed)
// and handed on exactly what it should, then logs in cleanly with nothing left of that connection.
void TestStars::session()
{
    QFETCH(QByteArrayList, script);
    QFETCH(int, state);
    QFETCH(QStringList, done);

    ClientFixture f;
    f.stars.setLogSendingMsg(true);
    // A call of the client's: the slot and its arguments; a received line stands for its message.
    const auto call = [&stars = f.stars](const QStringList &a) {
        AMsg msg;
        msg.parse(a.value(1));
        if (a.at(0) == "cmdV")
            stars.sendCmdV(a.at(1), a.at(2), a.at(3), a.at(4));
        else if (a.at(0) == "event")
            stars.sendEvent(a.at(1), a.at(2));
        else if (a.at(0) == "ok")
            stars.sendOk(msg);
        else if (a.at(0) == "busy")
            stars.setBusy(a.at(1) == "1");
    };
    auto *button = f.stars.findChild<QPushButton *>("connectB");
    button->click();
    QVERIFY(f.server.waitForClient());
    for (const QByteArray &step : qAsConst(script)) {
        if (step == "<key>")
            QVERIFY(f.server.waitForLines(1));
        else if (step == "<login>")
            QVERIFY(f.logIn());
        else if (step == "<close>")
            f.server.closeClient();
        else if (step == "<click>")
            button->click();
        else if (step.startsWith('='))
            QVERIFY(writeFile(f.keyPath(), step.mid(1)));
        else if (step.startsWith('!'))
            call(QString(step.mid(1)).split('|'));
        else
            f.server.send(step);
    }
    QTRY_COMPARE(f.stars.connectionState(), state);
    const bool on = state == ConnectStat::Connected;
    QVERIFY(!on || f.sendAndSettle(""));
    // What the client wrote (once logged in, up to a line of its own), then what it handed on.
    const auto outcome = [&f, on] {
        QStringList lines;
        for (const QByteArray &line : on ? f.written() : f.server.lines())
            lines << QString::fromLatin1(line);
        return lines + f.messages;
    };
    QTRY_COMPARE(outcome(), done);
    QVERIFY(!on || f.log.last() == "---- Snd " + f.stars.nodeNameField()->text() + ">Probe written (0,200,120)");
    QCOMPARE(f.server.clientCount(), 1);

    f.server.dropClient();
    QTRY_COMPARE(f.stars.connectionState(), int(ConnectStat::Disconnected));
    QVERIFY(writeFile(f.keyPath(), "k0\nk1\nk2\n"));
    f.log.clear();
    QTRY_VERIFY((f.stars.connectToStars(), f.server.hasClient()));
    QVERIFY(f.logIn("1\n"));
    QCOMPARE(f.log, QStringList({"opening key file [" + f.keyPath() + "]", "sending key [Zendri][k1]", "Connected To Stars"}));
}

void TestStars::history_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("appended");

    QTest::newRow("first host") << QByteArray() << false << "localhost" << QByteArray("A: localhost\n");
    QTest::newRow("unchanged") << QByteArray("A: localhost\n") << false << "localhost" << QByteArray();
    QTest::newRow("lower-case key") << QByteArray("a: h\n") << false << "h" << QByteArray();
    QTest::newRow("port does not suppress host") << QByteArray("P: h\n") << false << "h" << QByteArray("A: h\n");
    QTest::newRow("host does not suppress port") << QByteArray("A: 7\n") << true << "7" << QByteArray("P: 7\n");
    QTest::newRow("later line wins") << QByteArray("A: x\nA: y\n") << false << "x" << QByteArray("A: x\n");
    QTest::newRow("read back as its first word") << QByteArray("A: my host\n") << false << "my host" << QByteArray("A: my host\n");
    QTest::newRow("not trimmed, case-sensitive") << QByteArray("A: h\n") << false << " H" << QByteArray("A:  H\n");
    QTest::newRow("empty host after a host") << QByteArray("A: x\n") << false << "" << QByteArray("A: \n");
    QTest::newRow("other lines skipped") << QByteArray("junk\n\nX: y\n  A:\th \t\nA: \nB: c") << false << "h" << QByteArray();
}

// Return in the host or port field appends the text unless it is the last one recorded; a text
// set by the program is not recorded. The file lies in the working directory of the moment.
void TestStars::history()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, port);
    QFETCH(QString, text);
    QFETCH(QByteArray, appended);

    ClientFixture f;
    QVERIFY(QDir::setCurrent(f.dir.path()));
    QVERIFY(writeFile("OrvelHistory.dat", before));
    QFile file("OrvelHistory.dat");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QLineEdit *field = port ? f.stars.portField() : f.stars.hostField();
    field->setText(text);
    QCOMPARE(file.readAll(), before);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(file.readAll(), appended);
}

void TestStars::connectButton_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("look");
    QTest::addColumn<QString>("click");

    QTest::newRow("disconnected") << 0 << "Disconnected 176, 192, 192 | Connect 96, 255, 181" << "askConnect";
    QTest::newRow("connecting") << 1 << "Connecting 255, 243, 162 | Connecting 240, 240, 240" << "askDisconnect";
    QTest::newRow("connected") << 2 << "Connected 211, 255, 241 | Disconnect 255, 255, 128" << "askDisconnect";
    QTest::newRow("out of range keeps the look") << 5 << "Connected 211, 255, 241 | Disconnect 255, 255, 128" << "askDisconnect";
}

// What the status label and the connect button show in each state, and what a click asks for.
void TestStars::connectButton()
{
    QFETCH(int, state);
    QFETCH(QString, look);
    QFETCH(QString, click);

    ConnectStat stat;
    QLabel label;
    QPushButton button;
    stat.setWidgets(&label, &button);
    QStringList asked;
    connect(&stat, &ConnectStat::askConnect, &stat, [&asked] { asked << "askConnect"; });
    connect(&stat, &ConnectStat::askDisconnect, &stat, [&asked] { asked << "askDisconnect"; });
    stat.setState(ConnectStat::Connected);
    stat.setState(state);
    const auto shown = [](const QWidget &widget, const QString &text) {
        return text + ' ' + widget.styleSheet().remove("background-color: rgb(").remove(");");
    };
    QCOMPARE(shown(label, label.text()) + " | " + shown(button, button.text()), look);
    button.click();
    QCOMPARE(asked, QStringList{click});
}

// Help lists the words a peer can ask for, once each; the earlier entry decides on a duplicate.
void TestStars::cmdList()
{
    DebugCapture debug("velmar.stars");
    CmdTable table;
    for (const QString entry : {"1 ", "2 @Reply", "3 Hello", "4 _Event", "5 Help", "5 Foo", "6 Hello", "3 Help"})
        table.add(entry.section(' ', 0, 0).toInt(), entry.section(' ', 1), QString());
    QCOMPARE(table.cmdList(), QString("Hello Help"));
    QCOMPARE(debug.lines, QStringList({R"(Duplicated id 5 "Foo" "")", R"(Duplicated msg 6 "Hello" "")", R"(Duplicated id 3 "Help" "")"}));
}

QTEST_MAIN(TestStars)
#include "tst_stars.moc"
