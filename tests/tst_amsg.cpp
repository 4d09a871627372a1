#include "stars/amsg.h"

#include <QtTest>

namespace {

// Every field of a parsed line on one line:
// "valid type|route|body|from[node,channel,full]>to[node,channel,full]|cmd|val|params|line"
QString describe(const AMsg &m)
{
    static const char *const types[] = {"Ans", "Event", "Ask", "NotSet"};
    const auto address = [](const QString &a, const QString &node, const QString &ch, const QString &full) {
        return QStringLiteral("%1[%2,%3,%4]").arg(a, node, ch, full);
    };
    return QStringLiteral("%1 %2|%3|%4|%5>%6|%7|%8|%9")
        .arg(int(m.valid)).arg(QLatin1String(types[m.type]))
        .arg(m.route, m.body, address(m.from, m.fromNode, m.fromCh, m.fromFull),
             address(m.to, m.toNode, m.toCh, m.toFull), m.cmd, m.val, m.params.join(QLatin1Char(',')))
        + QLatin1Char('|') + m.line;
}

} // namespace

// The received line's record, the bytes that become a line, and the line that becomes bytes.
class TestAMsg : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void wire_data();
    void wire();
};

void TestAMsg::parse_data()
{
    QTest::addColumn<QString>("received");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("empty") << "" << "0 NotSet|||[,,]>[,,]||||" << "";
    QTest::newRow("route only") << "A>B\n" << "0 NotSet|A>B||[,,]>[,,]||||A>B" << "";
    QTest::newRow("no arrow") << "AB Hello" << "0 NotSet|AB|Hello|[,,]>[,,]||||AB Hello" << "";
    QTest::newRow("ask with CR LF") << "A>B Hello\r\n" << "1 Ask|A>B|Hello|A[A,,A]>B[B,,B]|Hello|||A>B Hello" << "";
    QTest::newRow("CR inside") << "A>B He\rllo x\ny" << "1 Ask|A>B|Hello xy|A[A,,A]>B[B,,B]|Hello|xy|xy|A>B Hello xy" << "";
    QTest::newRow("channels, answer, tab") << "  A.x>B.y.z   @Help   red\tblue  "
        << "1 Ans|A.x>B.y.z|@Help red blue|A.x[A,x,A.x]>B.y.z[B,y.z,B.y.z]|Help|red|red,blue|  A.x>B.y.z   @Help   red\tblue  " << "";
    QTest::newRow("arrow in addressee") << "A>B>D go" << "1 Ask|A>B>D|go|A[A,,A]>B>D[B>D,,B>D]|go|||A>B>D go" << "";
    QTest::newRow("event") << "A>B _flgon" << "1 Event|A>B|_flgon|A[A,,A]>B[B,,B]|flgon|||A>B _flgon" << "";
    QTest::newRow("event marker only") << "A>B _" << "1 Event|A>B|_|A[A,,A]>B[B,,B]||||A>B _" << "";
    QTest::newRow("one marker removed") << "A>B @@x" << "1 Ans|A>B|@@x|A[A,,A]>B[B,,B]|@x|||A>B @@x" << "";
    QTest::newRow("quoted command") << "A>B \"two   words\" x" << "1 Ask|A>B|\"two words\" x|A[A,,A]>B[B,,B]|two words|x|x|A>B \"two   words\" x" << "";
    QTest::newRow("empty command item") << "A>B \"\" x" << "0 NotSet|A>B|\"\" x|A[A,,A]>B[B,,B]||x|x|A>B \"\" x" << "";
    QTest::newRow("empty parameter") << "A>B go \"\" y" << "1 Ask|A>B|go \"\" y|A[A,,A]>B[B,,B]|go||,y|A>B go \"\" y" << "";
    QTest::newRow("unterminated quote") << "A>B \"open text" << "1 Ask|A>B|\"open text|A[A,,A]>B[B,,B]|open text|||A>B \"open text"
        << "In a line [ \"open text] item is started from quote but not ended by quote";
    QTest::newRow("quote glued to parameter") << "A>B go x\"y\"" << "1 Ask|A>B|go x\"y\"|A[A,,A]>B[B,,B]|go|x\"y\"|x\"y\"|A>B go x\"y\""
        << "In a line [ x\"y\"] item is started from not quote but ended by quote";
    QTest::newRow("acceptance") << "System>N Ok:" << "1 Ask|System>N|Ok:|System[System,,System]>N[N,,N]|Ok:|||System>N Ok:" << "";
    QTest::newRow("empty channel") << "A.>B x" << "1 Ask|A.>B|x|A.[A,,A]>B[B,,B]|x|||A.>B x" << "";
    QTest::newRow("empty addresses") << "> go" << "1 Ask|>|go|[,,]>[,,]|go|||> go" << "";
    QTest::newRow("quoted route") << "\"A x>B\" go" << "1 Ask|A x>B|go|A x[A x,,A x]>B[B,,B]|go|||\"A x>B\" go" << "";
    QTest::newRow("unicode white space") << "A>B\u00a0go\u2003x" << "1 Ask|A>B|go x|A[A,,A]>B[B,,B]|go|x|x|A>B\u00a0go\u2003x" << "";
}

void TestAMsg::parse()
{
    QFETCH(QString, received);
    QFETCH(QString, fields);
    QFETCH(QString, debugLine);
    if (!debugLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(debugLine));
    AMsg msg;
    QCOMPARE(msg.parse(received), fields.startsWith('1'));
    QCOMPARE(describe(msg), fields);
    // The record travels through signals and QSignalSpy as a registered type.
    QCOMPARE(QVariant(QMetaType::type("AMsg"), &msg).value<AMsg>().params, msg.params);
}

// Received bytes become text up to a NUL, decoded as UTF-8; sent text becomes Latin-1 bytes and
// a line feed, with one "?" for each character outside Latin-1.
void TestAMsg::wire_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("received");

    QTest::newRow("UTF-8 received") << QByteArray("A>B caf\xc3\xa9 \xe2\x82\xac") << "A>B caf\u00e9 \u20ac" << true;
    QTest::newRow("NUL ends the text") << QByteArray("A>B go\0junk\n", 12) << "A>B go" << true;
    QTest::newRow("leading NUL") << QByteArray("\0A>B go", 7) << "" << true;
    QTest::newRow("invalid UTF-8") << QByteArray("A>B go \xff x") << "A>B go \ufffd x" << true;
    QTest::newRow("empty sent") << QByteArray("\n") << "" << false;
    QTest::newRow("Latin-1 sent") << QByteArray("caf\xe9 \xff\n") << "caf\u00e9 \u00ff" << false;
    QTest::newRow("outside Latin-1") << QByteArray("a?b?\n") << "a\u20acb\u0100" << false;
    QTest::newRow("surrogate pair is one character") << QByteArray("a?b\n") << "a\U0001F600b" << false;
    QTest::newRow("lone surrogate") << QByteArray("?x\n") << QString(QChar(0xd800)) + 'x' << false;
}

void TestAMsg::wire()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, received);
    if (received)
        QCOMPARE(decodeReceivedLine(bytes), text);
    else
        QCOMPARE(encodeSentLine(text), bytes);
}

QTEST_GUILESS_MAIN(TestAMsg)
#include "tst_amsg.moc"
