#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>

#include "clientfixture.h"
#include "debugcapture.h"
#include "support.h"
#include "stars/cmdtable.h"
#include "stars/connectstat.h"
#include "stars/linksupervisor.h"

// The Stars client: the received line's record and the bytes on the wire; against a scripted
// server its log-in, receive loop, dispatch, sending and address history, the connection
// status it shows, and the supervisor that keeps its link up.
class TestStars : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void sentAsLatin1();
    void session_data();
    void session();
    void history_data();
    void history();
    void linkEndsUnasked_data();
    void linkEndsUnasked();
};

void TestStars::parse_data()
{
    // The bytes of a line as they come from the wire.
    QTest::addColumn<QByteArray>("received");
    // Every field of the parsed line, and the id that the dispatch finds for its command word in
    // the table of parse():
    // "valid type|route|body|from[node,channel,full]>to[node,channel,full]|cmd|val|params|line|id"
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("route only") << QByteArray("A>B\n") << "0 NotSet|A>B||[,,]>[,,]||||A>B|1" << "";
    QTest::newRow("no arrow, line breaks removed, NUL ends the text") << QByteArray("AB He\rllo x\ny\r\n\0junk", 20) << "0 NotSet|AB|Hello xy|[,,]>[,,]||||AB Hello xy|1" << "";
    QTest::newRow("channels, answer, one marker removed, tab") << QByteArray("  A.x>B.y.z   @@Help   red\tblue  ")
        << "1 Ans|A.x>B.y.z|@@Help red blue|A.x[A,x,A.x]>B.y.z[B,y.z,B.y.z]|@Help|red|red,blue|  A.x>B.y.z   @@Help   red\tblue  |2" << "";
    QTest::newRow("arrow in addressee, empty channel, marker only") << QByteArray("A.>B>D _") << "1 Event|A.>B>D|_|A.[A,,A]>B>D[B>D,,B>D]||||A.>B>D _|1" << "";
    QTest::newRow("quoted route and command, empty parameter") << QByteArray("\"A x>B\" \"two   words\" \"\" y")
        << "1 Ask|A x>B|\"two words\" \"\" y|A x[A x,,A x]>B[B,,B]|two words||,y|\"A x>B\" \"two   words\" \"\" y|4" << "";
    QTest::newRow("empty command item") << QByteArray("A>B \"\" x") << "0 NotSet|A>B|\"\" x|A[A,,A]>B[B,,B]||x|x|A>B \"\" x|1" << "";
    QTest::newRow("unterminated quote") << QByteArray("A>B \"open text") << "1 Ask|A>B|\"open text|A[A,,A]>B[B,,B]|open text|||A>B \"open text|4"
        << "In a line [ \"open text] item is started from quote but not ended by quote";
    QTest::newRow("quote glued to parameter") << QByteArray("A>B go x\"y\"") << "1 Ask|A>B|go x\"y\"|A[A,,A]>B[B,,B]|go|x\"y\"|x\"y\"|A>B go x\"y\"|3"
        << "In a line [ x\"y\"] item is started from not quote but ended by quote";
    QTest::newRow("empty addresses, unicode white space, UTF-8 and invalid UTF-8, case") << QByteArray(">\xc2\xa0Go\xe2\x80\x83" "caf\xc3\xa9 \xe2\x82\xac \xff")
        << "1 Ask|>|Go caf\u00e9 \u20ac \ufffd|[,,]>[,,]|Go|caf\u00e9|caf\u00e9,\u20ac,\ufffd|>\u00a0Go\u2003caf\u00e9 \u20ac \ufffd|7" << "";
    QTest::newRow("leading NUL") << QByteArray("\0A>B go", 7) << "0 NotSet|||[,,]>[,,]|||||1" << "";
}

void TestStars::parse()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, fields);
    QFETCH(QString, debugLine);
    if (!debugLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(debugLine));
    // Entries that repeat an earlier id or word are refused, words compared case by case; the
    // empty word and those that begin with a type marker are not listed, as no ask can name
    // them. An entry may take the id 4, which an unknown word gets too.
    CmdTable table;
    const DebugCapture refused("velmar.stars");
    for (const QString entry : {"1 ", "2 @Help", "3 go", "4 Four", "5 _Event", "5 Foo", "6 go", "3 two words", "7 Go"})
        table.add(entry.section(' ', 0, 0).toInt(), entry.section(' ', 1), "help " + entry);
    QCOMPARE(refused.lines.join(", ") + " | " + table.cmdList(), R"(Duplicated id 5 "Foo" "help 5 Foo", Duplicated msg 6 "go" "help 6 go", Duplicated id 3 "two words" "help 3 two words" | go Four Go)");
    AMsg m;
    QCOMPARE(m.parse(decodeReceivedLine(received)), fields.startsWith('1'));
    static const char *const types[] = {"Ans", "Event", "Ask", "NotSet"};
    const QString from = m.from + '[' + QStringList{m.fromNode, m.fromCh, m.fromFull}.join(',') + ']';
    const QString to = m.to + '[' + QStringList{m.toNode, m.toCh, m.toFull}.join(',') + ']';
    QCOMPARE(QStringList({QString::number(m.valid) + ' ' + types[m.type], m.route, m.body, from + '>' + to, m.cmd, m.val, m.params.join(','), m.line,
                          QString::number(table.idOf(m.cmd))}).join('|'), fields);
}

// Sent text becomes Latin-1 bytes and a line feed, with one "?" for each character outside
// Latin-1: a surrogate pair is one character, and so is a lone surrogate.
void TestStars::sentAsLatin1()
{
    const QString text = QString("caf\u00e9 \u00ff\u0100x\u20ac a\U0001F600b") + QChar(0xd800) + 'x';
    QCOMPARE(encodeSentLine(text), QByteArray("caf\xe9 \xff?x? a?b?x\n"));
}

void TestStars::session_data()
{
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("done");

    const int off = ConnectStat::Disconnected;
    const int on = ConnectStat::Connected;
    using Script = QByteArrayList;
    using Done = QStringList;
    const QString hi = " @Hello Hello! I am Zendri. Nice to meet you!";
    // Steps: bytes for the server to send; "<key>" waits for the key line; "<login>" is the whole
    // log-in, after which the received bytes are cleared; "<close>" is the server closing the
    // connection, "<click>" the user clicking the connect button; "=KEYS" writes the key file;
    // "!SLOT|ARG|..." is a call of the client's.
    QTest::newRow("key index padded, negative, beyond the keys; key lines simplified, empty ones count")
        << Script{"=\n  k  1 \nk2\n", "  -5 \t\r\n", "<key>"} << int(ConnectStat::Connecting) << Done{"Zendri k 1"};
    QTest::newRow("no key, nothing sent; all in one packet") << Script{"=", "0\nSystem>Zendri Ok: hi\r\nD>Zendri _A\n"} << on << Done{"event A 4 "};
    QTest::newRow("index not a number, lower-case ok") << Script{"7x\n", "<key>", "System>Zendri ok:\n"} << off << Done{"Zendri k0"};
    QTest::newRow("blank before System refused, the rest dropped") << Script{"0\n System>Zendri Ok:\nSystem>Zendri Ok:\nD>Zendri _A\n"} << off
                                                                   << Done{"Zendri k0"};
    QTest::newRow("closed in the acceptance") << Script{"1\n", "<key>", "System>Zendri O", "<close>"} << off << Done{"Zendri k1"};
    // The addressed node and channel answer, here "😀.é": one "?" for the emoji in Latin-1.
    QTest::newRow("built-in asks, Help") << Script{"<login>", "C.ch>Zendri.x Hello a\nC>Zendri IsBusy\nC>\xf0\x9f\x98\x80.\xc3\xa9 Hello\n"
                                                               "C>Zendri Help\nC>Zendri Help IsBusy Hello\nC>Zendri Help %1\n"} << on
        << Done{"Zendri.x>C.ch" + hi, "Zendri>C @IsBusy 0", "?.é>C" + hi, "Zendri>C @Help Commands : Hello Help IsBusy",
                "Zendri>C @Help : Answer if Zendri is busy", "Zendri>C @Help Er: Command [%1] not found."};
    QTest::newRow("handed on, built-in words too; no messages; a line longer than one read")
        << Script{"<login>", "C>Zendri help \"b c\"\nD>Zendri @Hello Hi\nD>Zendri _Help\nSystem>Zendri Ok:\nC>Zendri\nCZendri Hello\nC>Zendri \"\" x\n \t\n\x01\x7f >>\n7\n\xff\xfe\n",
                  "D>Zendri _B " + QByteArray(100000, 'x') + "\nD>Zendri _C\n"} << on
        << Done{"ask help 4 b c", "ans Hello 0 Hi", "event Help 1 ", "ask Ok: 4 ", "event B 4 " + QString(100000, 'x'), "event C 4 "};
    // Busy is kept while disconnected, and only a change is announced.
    QTest::newRow("sent as given, busy") << Script{"!busy|1", "<login>", "!cmdV|c|Dev|cmd|5", "!cmdV||Dev|cmd|", "!event|c|A 1", "!ok|C.>Other.q.r @Ask x",
                                                   "!ok|%1>%2 %1", "!busy|1", "!busy|0", "!busy|0", "!busy|1", "C>Zendri IsBusy\n"} << on
        << Done{"Zendri.c>Dev cmd 5", "Zendri>Dev cmd", "Zendri.c>System _A 1", "Other.q.r>C. @Ask Ok:", "%2>%1 @%1 Ok:", "Zendri>System _ChangedIsBusy 0",
                "Zendri>System _ChangedIsBusy 1", "Zendri>C @IsBusy 1"};
    QTest::newRow("sent or clicked while connecting, amid the acceptance") << Script{"0\nSystem>Zendri O", "<key>", "!cmdV|c|Dev|cmd|5", "!ok|C>Zendri Hello",
                                                                                   "<click>", "k:\n"} << on << Done{"Zendri k0"};
}

// Whatever the server did, the client ends in the expected state having written (and echoed)
// and handed on exactly what it should, then logs in cleanly with nothing left of that connection.
void TestStars::session()
{
    QFETCH(QByteArrayList, script);
    QFETCH(int, state);
    QFETCH(QStringList, done);

    // Whether the client was disconnected and down whenever it said that it is not ready; it
    // says so once more when the fixture closes its connection, so the list outlives the fixture.
    QList<bool> notReady;
    ClientFixture f;
    f.stars.setLogSendingMsg(true);
    connect(&f.stars, &Stars::starsIsNotReady, &f, [&s = f.stars, &notReady] { notReady << (!s.connectionState() && s.linkState() == LinkState::Down); });
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
    // What the status label and the connect button show in that state.
    static const QStringList looks {"Disconnected 176, 192, 192 | Connect 96, 255, 181",
                                    "Connecting 255, 243, 162 | Connecting 240, 240, 240",
                                    "Connected 211, 255, 241 | Disconnect 255, 255, 128"};
    const auto *label = f.stars.findChild<QLabel *>("statusL");
    QString shown = label->text() + ' ' + label->styleSheet() + " | " + button->text() + ' ' + button->styleSheet();
    QCOMPARE(shown.remove("background-color: rgb(").remove(");"), looks.at(state));
    // A click in that state asks to connect only when disconnected; the client takes both
    // requests to the one slot, so a connection status of the test's own tells them apart.
    ConnectStat own;
    own.setState(state);
    QSignalSpy asked(&own, state == ConnectStat::Disconnected ? &ConnectStat::askConnect : &ConnectStat::askDisconnect);
    QVERIFY(QMetaObject::invokeMethod(&own, "connectBClicked") && asked.size() == 1);
    const bool on = state == ConnectStat::Connected;
    if (on) {
        // An event writes nothing back: once it is handed on, every line before it has been handled.
        f.server.send("Probe>Zendri _Settled\n");
        QVERIFY(QTest::qWaitFor([&f] { return f.messages.removeAll("event Settled 4 ") == 1; }, ClientFixture::Wait));
    }
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
    // Once for the end of the connection, whether it was logged in or not.
    QTRY_COMPARE(notReady, QList<bool>{true});
    QVERIFY(writeFile(f.keyPath(), "k0\nk1\nk2\n"));
    f.log.clear();
    QSignalSpy states(&f.stars, &Stars::linkStateChanged);
    QTRY_VERIFY((f.stars.connectToStars(), f.server.hasClient()));
    QVERIFY(f.logIn("1\n"));
    QCOMPARE(states.size(), 3);
    QCOMPARE(states.at(2).at(0).value<LinkState>(), LinkState::LoggedIn);
    QCOMPARE(f.log, QStringList({"opening key file [" + f.keyPath() + "]", "sending key [Zendri][k1]", "Connected To Stars"}));
}

void TestStars::history_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("appended");

    QTest::newRow("first host") << QByteArray() << false << "localhost" << QByteArray("A: localhost\n");
    QTest::newRow("port does not suppress host, later line wins") << QByteArray("A: x\nA: y\nP: x\n") << false << "x" << QByteArray("A: x\n");
    QTest::newRow("host and other keys do not suppress port") << QByteArray("A: 7\nB: 7\n") << true << "7" << QByteArray("P: 7\n");
    QTest::newRow("read back as its first word") << QByteArray("A: my host\n") << false << "my host" << QByteArray("A: my host\n");
    QTest::newRow("not trimmed, case-sensitive") << QByteArray("A: h\n") << false << " H" << QByteArray("A:  H\n");
    QTest::newRow("unchanged, lower-case key, others skipped") << QByteArray("junk\n\nX: y\n  a:\th \t\nA: \nB: c") << false << "h" << QByteArray();
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

void TestStars::linkEndsUnasked_data()
{
    QTest::addColumn<QByteArrayList>("replies");
    // The red line; where it says that the client can't connect, nothing listens at its port.
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QStringList>("delays");

    QTest::newRow("log-in refused, key masked") << QByteArrayList{"0\n", "System>Zendri Er: bad key k0\n"}
                                                << "Log-in refused by Stars at %1: System>Zendri Er: bad key *****" << QStringList{"0.04"};
    QTest::newRow("no key index") << QByteArrayList() << "No log-in at Stars at %1 within 1 s" << QStringList{"0.04"};
    QTest::newRow("nothing listens: the delay doubles up to its cap") << QByteArrayList() << "Can't connect to Stars at %1: Connection refused"
                                                                      << QStringList{"0.04", "0.08", "0.1", "0.1"};
}

// One red line names the cause, the alarm rings, retries follow with a doubling delay, and the
// next log-in says how long the link was down, stops the alarm and starts the delay afresh.
// Then Disconnect stops the retries and the alarm; Connect tries at once and arms them again.
void TestStars::linkEndsUnasked()
{
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, cause);
    QFETCH(QStringList, delays);

    constexpr int FirstDelayMs = 40;
    ClientFixture c;
    // What the supervisor logs and, as "alarm on" and "alarm off", what it says of the alarm.
    QStringList lines;
    LinkSupervisor supervisor(&c.stars, {FirstDelayMs, 100, 1000});
    connect(&supervisor, &LinkSupervisor::log, &c, [&lines](const QString &msg) { lines << msg; });
    connect(&supervisor, &LinkSupervisor::alarmChanged, &c, [&lines](bool on) { lines << (on ? "alarm on" : "alarm off"); });
    // The delays of the "Trying ... again in N s" lines, in order.
    const auto delaysLogged = [&lines] { return lines.filter(" again in ").replaceInStrings(QRegularExpression("^.* in | s$"), QString()); };
    const QString port = c.stars.portField()->text();
    if (cause.startsWith("Can't connect")) {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        c.stars.portField()->setText(QString::number(closed.serverPort()));
    }
    const QString where = "127.0.0.1:" + c.stars.portField()->text();
    c.stars.connectToStars();
    for (const QByteArray &reply : qAsConst(replies)) {
        QVERIFY(c.server.waitForClient());
        c.server.send(reply);
        QVERIFY(c.server.waitForLines(1));
    }
    // Retries go on meanwhile: only the first lines are certain.
    QTRY_VERIFY(delaysLogged().size() >= delays.size());
    QCOMPARE(lines.mid(0, 3), QStringList({cause.arg(where), "alarm on", "Trying Stars at " + where + " again in 0.04 s"}));
    QCOMPARE(delaysLogged().mid(0, delays.size()), delays);

    // The retry, not a request of ours, must find the server: a request would reset the delay.
    const int clients = c.server.clientCount() + (c.server.hasClient() ? 0 : 1);
    c.stars.portField()->setText(port);
    QTRY_COMPARE(c.server.clientCount(), clients);
    QVERIFY(c.logIn());
    QCOMPARE(lines.mid(lines.size() - 2), QStringList({"alarm off", "Stars link was down 00:00:00"}));
    QCOMPARE(lines.filter("alarm "), QStringList({"alarm on", "alarm off"}));
    lines.clear();
    c.server.closeClient();
    QTRY_COMPARE(delaysLogged(), QStringList{"0.04"});

    QVERIFY(c.logIn());
    lines.clear();
    c.stars.connectToStars();
    QTRY_VERIFY(!c.server.hasClient());
    QVERIFY(!c.server.waitForClient(5 * FirstDelayMs)); // twice the longest delay
    QCOMPARE(lines, QStringList());
    c.stars.connectToStars();
    QVERIFY(c.stars.linkState() != LinkState::Down);
    QVERIFY(c.logIn());
    c.server.closeClient();
    QTRY_COMPARE(delaysLogged(), QStringList{"0.04"});
}

QTEST_MAIN(TestStars)
#include "tst_stars.moc"
