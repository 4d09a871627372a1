#include "stars/amsg.h"

#include <QtTest>

namespace {

using Fields = QVariantMap;

Fields fieldsOf(const AMsg &msg)
{
    return {
        {QStringLiteral("valid"), msg.valid},       {QStringLiteral("line"), msg.line},
        {QStringLiteral("route"), msg.route},       {QStringLiteral("body"), msg.body},
        {QStringLiteral("from"), msg.from},         {QStringLiteral("to"), msg.to},
        {QStringLiteral("fromNode"), msg.fromNode}, {QStringLiteral("fromCh"), msg.fromCh},
        {QStringLiteral("fromFull"), msg.fromFull}, {QStringLiteral("toNode"), msg.toNode},
        {QStringLiteral("toCh"), msg.toCh},         {QStringLiteral("toFull"), msg.toFull},
        {QStringLiteral("cmd"), msg.cmd},           {QStringLiteral("val"), msg.val},
        {QStringLiteral("params"), msg.params},     {QStringLiteral("type"), msg.type},
        {QStringLiteral("cmdId"), msg.cmdId},
    };
}

// The fields of a valid message from `from` to `to`, before the command item is known.
Fields routed(const QString &line, const QString &from, const QString &to, const QString &body)
{
    const auto node = [](const QString &address) { return address.section(QLatin1Char('.'), 0, 0); };
    const auto channel = [](const QString &address) { return address.section(QLatin1Char('.'), 1); };
    const auto full = [&](const QString &address) {
        return channel(address).isEmpty() ? node(address) : address;
    };
    return {
        {QStringLiteral("line"), line},           {QStringLiteral("route"), from + QLatin1Char('>') + to},
        {QStringLiteral("body"), body},           {QStringLiteral("from"), from},
        {QStringLiteral("to"), to},               {QStringLiteral("fromNode"), node(from)},
        {QStringLiteral("fromCh"), channel(from)}, {QStringLiteral("fromFull"), full(from)},
        {QStringLiteral("toNode"), node(to)},     {QStringLiteral("toCh"), channel(to)},
        {QStringLiteral("toFull"), full(to)},
    };
}

Fields with(Fields fields, const Fields &more)
{
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        fields.insert(it.key(), it.value());
    return fields;
}

Fields command(const QString &cmd, int type, const QStringList &params = QStringList())
{
    return {{QStringLiteral("valid"), true},
            {QStringLiteral("cmd"), cmd},
            {QStringLiteral("type"), type},
            {QStringLiteral("params"), params},
            {QStringLiteral("val"), params.value(0)}};
}

} // namespace

class TestAMsg : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void registeredMetaType();
    void decodeReceivedLine_data();
    void decodeReceivedLine();
    void invalidUtf8StillParses();
    void encodeSentLine_data();
    void encodeSentLine();
    void veryLongLine();
};

void TestAMsg::parse_data()
{
    QTest::addColumn<QString>("received");
    QTest::addColumn<Fields>("expected");
    QTest::addColumn<QString>("message");

    const QString a = QStringLiteral("A");
    const QString b = QStringLiteral("B");

    QTest::newRow("empty") << QString() << Fields() << QString();
    QTest::newRow("blank") << QStringLiteral(" \t ") << Fields{{QStringLiteral("line"), QStringLiteral(" \t ")}}
                           << QString();
    QTest::newRow("route only") << QStringLiteral("A>B\n")
                                << Fields{{QStringLiteral("line"), QStringLiteral("A>B")},
                                          {QStringLiteral("route"), QStringLiteral("A>B")}}
                                << QString();
    QTest::newRow("no arrow") << QStringLiteral("AB Hello")
                              << Fields{{QStringLiteral("line"), QStringLiteral("AB Hello")},
                                        {QStringLiteral("route"), QStringLiteral("AB")},
                                        {QStringLiteral("body"), QStringLiteral("Hello")}}
                              << QString();
    QTest::newRow("ask with CR LF")
        << QStringLiteral("A>B Hello\r\n")
        << with(routed(QStringLiteral("A>B Hello"), a, b, QStringLiteral("Hello")), command(QStringLiteral("Hello"), Ask))
        << QString();
    QTest::newRow("CR inside the line")
        << QStringLiteral("A>B He\rllo x\ny")
        << with(routed(QStringLiteral("A>B Hello xy"), a, b, QStringLiteral("Hello xy")),
                command(QStringLiteral("Hello"), Ask, {QStringLiteral("xy")}))
        << QString();
    QTest::newRow("channels, answer, tab")
        << QStringLiteral("  A.x>B.y.z   @Help   red\tblue  ")
        << with(routed(QStringLiteral("  A.x>B.y.z   @Help   red\tblue  "), QStringLiteral("A.x"),
                       QStringLiteral("B.y.z"), QStringLiteral("@Help red blue")),
                command(QStringLiteral("Help"), Ans, {QStringLiteral("red"), QStringLiteral("blue")}))
        << QString();
    QTest::newRow("arrow in the addressee")
        << QStringLiteral("A>B>D go")
        << with(routed(QStringLiteral("A>B>D go"), a, QStringLiteral("B>D"), QStringLiteral("go")),
                command(QStringLiteral("go"), Ask))
        << QString();
    QTest::newRow("event") << QStringLiteral("A>B _flgon")
                           << with(routed(QStringLiteral("A>B _flgon"), a, b, QStringLiteral("_flgon")),
                                   command(QStringLiteral("flgon"), Event))
                           << QString();
    QTest::newRow("event marker only")
        << QStringLiteral("A>B _") << with(routed(QStringLiteral("A>B _"), a, b, QStringLiteral("_")), command({}, Event))
        << QString();
    QTest::newRow("answer marker only")
        << QStringLiteral("A>B @ x")
        << with(routed(QStringLiteral("A>B @ x"), a, b, QStringLiteral("@ x")), command({}, Ans, {QStringLiteral("x")}))
        << QString();
    QTest::newRow("one marker removed")
        << QStringLiteral("A>B @@x")
        << with(routed(QStringLiteral("A>B @@x"), a, b, QStringLiteral("@@x")), command(QStringLiteral("@x"), Ans))
        << QString();
    QTest::newRow("quoted command collapses blanks")
        << QStringLiteral("A>B \"two   words\" x")
        << with(routed(QStringLiteral("A>B \"two   words\" x"), a, b, QStringLiteral("\"two words\" x")),
                command(QStringLiteral("two words"), Ask, {QStringLiteral("x")}))
        << QString();
    QTest::newRow("empty command item")
        << QStringLiteral("A>B \"\" x")
        << with(routed(QStringLiteral("A>B \"\" x"), a, b, QStringLiteral("\"\" x")),
                {{QStringLiteral("val"), QStringLiteral("x")}, {QStringLiteral("params"), QStringList{QStringLiteral("x")}}})
        << QString();
    QTest::newRow("empty parameter")
        << QStringLiteral("A>B go \"\" y")
        << with(routed(QStringLiteral("A>B go \"\" y"), a, b, QStringLiteral("go \"\" y")),
                command(QStringLiteral("go"), Ask, {QString(), QStringLiteral("y")}))
        << QString();
    QTest::newRow("unterminated quote")
        << QStringLiteral("A>B \"open text")
        << with(routed(QStringLiteral("A>B \"open text"), a, b, QStringLiteral("\"open text")),
                command(QStringLiteral("open text"), Ask))
        << QStringLiteral("In a line [ \"open text] item is started from quote but not ended by quote");
    QTest::newRow("quote glued to a parameter")
        << QStringLiteral("A>B go x\"y\"")
        << with(routed(QStringLiteral("A>B go x\"y\""), a, b, QStringLiteral("go x\"y\"")),
                command(QStringLiteral("go"), Ask, {QStringLiteral("x\"y\"")}))
        << QStringLiteral("In a line [ x\"y\"] item is started from not quote but ended by quote");
    QTest::newRow("acceptance") << QStringLiteral("System>N Ok:")
                                << with(routed(QStringLiteral("System>N Ok:"), QStringLiteral("System"),
                                               QStringLiteral("N"), QStringLiteral("Ok:")),
                                        command(QStringLiteral("Ok:"), Ask))
                                << QString();
    QTest::newRow("empty channel")
        << QStringLiteral("A.>B x")
        << with(routed(QStringLiteral("A.>B x"), QStringLiteral("A."), b, QStringLiteral("x")), command(QStringLiteral("x"), Ask))
        << QString();
    QTest::newRow("quoted route")
        << QStringLiteral("\"A x>B\" go")
        << with(routed(QStringLiteral("\"A x>B\" go"), QStringLiteral("A x"), b, QStringLiteral("go")),
                command(QStringLiteral("go"), Ask))
        << QString();
    QTest::newRow("empty addresses")
        << QStringLiteral("> go")
        << with(routed(QStringLiteral("> go"), QString(), QString(), QStringLiteral("go")), command(QStringLiteral("go"), Ask))
        << QString();
    QTest::newRow("unicode white space")
        << QStringLiteral("A>B\u00a0go\u2003x")
        << with(routed(QStringLiteral("A>B\u00a0go\u2003x"), a, b, QStringLiteral("go x")),
                command(QStringLiteral("go"), Ask, {QStringLiteral("x")}))
        << QString();
}

void TestAMsg::parse()
{
    QFETCH(QString, received);
    QFETCH(Fields, expected);
    QFETCH(QString, message);

    if (!message.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    AMsg msg;
    QCOMPARE(msg.parse(received), expected.value(QStringLiteral("valid"), false).toBool());

    const Fields actual = fieldsOf(msg);
    const Fields wanted = with(fieldsOf(AMsg()), expected);
    QCOMPARE(actual.keys(), wanted.keys());
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
        const QVariant got = actual.value(it.key());
        QVERIFY2(got == it.value(), qPrintable(QStringLiteral("%1: got %2, expected %3")
                                                   .arg(it.key(), got.toStringList().join('|') + got.toString(),
                                                        it.value().toStringList().join('|') + it.value().toString())));
    }
}

void TestAMsg::registeredMetaType()
{
    const int id = QMetaType::type("AMsg");
    QCOMPARE(id, qMetaTypeId<AMsg>());
    AMsg msg;
    msg.parse(QStringLiteral("A>B go x"));
    const QVariant copy(id, &msg);
    QCOMPARE(copy.value<AMsg>().params, msg.params);
}

void TestAMsg::decodeReceivedLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << QByteArray("A>B go") << QStringLiteral("A>B go");
    QTest::newRow("UTF-8") << QByteArray("A>B caf\xc3\xa9 \xe2\x82\xac") << QStringLiteral("A>B caf\u00e9 \u20ac");
    QTest::newRow("NUL ends the text") << QByteArray("A>B go\0junk\n", 12) << QStringLiteral("A>B go");
    QTest::newRow("leading NUL") << QByteArray("\0A>B go", 7) << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestAMsg::decodeReceivedLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(::decodeReceivedLine(bytes), text);
}

void TestAMsg::invalidUtf8StillParses()
{
    const QString text = ::decodeReceivedLine(QByteArray("A>B go \xff\xfe x \xe2\x82"));
    QVERIFY(text.startsWith(QStringLiteral("A>B go ")));
    QVERIFY(text.contains(QChar::ReplacementCharacter));

    AMsg msg;
    QVERIFY(msg.parse(text));
    QCOMPARE(msg.cmd, QStringLiteral("go"));
    QCOMPARE(msg.params.size(), 3);
    QCOMPARE(msg.params.at(1), QStringLiteral("x"));
}

void TestAMsg::encodeSentLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ASCII") << QStringLiteral("A>B go") << QByteArray("A>B go\n");
    QTest::newRow("empty") << QString() << QByteArray("\n");
    QTest::newRow("Latin-1") << QStringLiteral("caf\u00e9 \u00ff") << QByteArray("caf\xe9 \xff\n");
    QTest::newRow("outside Latin-1") << QStringLiteral("a\u20acb\u0100") << QByteArray("a?b?\n");
    QTest::newRow("surrogate pair is one character") << QStringLiteral("a\U0001F600b") << QByteArray("a?b\n");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QLatin1Char('x') << QByteArray("?x\n");
}

void TestAMsg::encodeSentLine()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, bytes);
    QCOMPARE(::encodeSentLine(line), bytes);
}

void TestAMsg::veryLongLine()
{
    const int itemCount = 1000 * 1000;
    QByteArray bytes("A>B go");
    bytes.reserve(8 * itemCount + 16);
    for (int i = 0; i < itemCount; ++i)
        bytes.append(" abcdefg");
    bytes.append('\n');

    AMsg msg;
    QVERIFY(msg.parse(::decodeReceivedLine(bytes)));
    QCOMPARE(msg.params.size(), itemCount);
    QCOMPARE(msg.params.last(), QStringLiteral("abcdefg"));
}

QTEST_GUILESS_MAIN(TestAMsg)
#include "tst_amsg.moc"
