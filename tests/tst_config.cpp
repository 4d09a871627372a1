#include "app/config.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char StartedFromQuote[] = "In a line [%1] item is started from quote but not ended by quote";
const char EndedByQuote[] = "In a line [%1] item is started from not quote but ended by quote";
const char CantOpen[] = "Can't open config file : ";

QString startedFromQuote(const QString &line)
{
    return QString::fromLatin1(StartedFromQuote).arg(line);
}

QString endedByQuote(const QString &line)
{
    return QString::fromLatin1(EndedByQuote).arg(line);
}

// Collects every message of the process while it lives, so a test can assert the exact list.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        messages().clear();
        previous = qInstallMessageHandler(&MessageCatcher::catchMessage);
    }
    ~MessageCatcher() { qInstallMessageHandler(previous); }

    QStringList caught() const { return messages(); }

private:
    static QStringList &messages()
    {
        static QStringList list;
        return list;
    }
    static void catchMessage(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        messages().append(text);
    }

    QtMessageHandler previous = nullptr;
};

// An argv that owns its bytes; element 0 is the program path.
class Arguments
{
public:
    explicit Arguments(const QStringList &arguments)
    {
        for (const QString &argument : arguments)
            bytes.append(argument.toUtf8());
        for (QByteArray &argument : bytes)
            pointers.append(argument.data());
        pointers.append(nullptr);
    }
    int argc() const { return bytes.size(); }
    char **argv() { return pointers.data(); }

private:
    QList<QByteArray> bytes;
    QVector<char *> pointers;
};

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void takeItem_data();
    void takeItem();
    void takeItemSuccessive();
    void takeItemAtQuotesTheRemainder();
    void cutComment_data();
    void cutComment();
    void isBlankLine_data();
    void isBlankLine();
    void loadFile_data();
    void loadFile();
    void loadFileFailure_data();
    void loadFileFailure();
    void optionsPrecedeFileLines();
    void lookups();
    void parseArgs_data();
    void parseArgs();

private:
    QString writeFile(const QByteArray &content);

    QTemporaryDir dir;
};

void TestConfig::takeItem_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("remainder");
    QTest::addColumn<QStringList>("messages");

    const QString unterminated = QStringLiteral("  \"open  text");
    const QString gluedQuote = QStringLiteral("value\" more");
    const QString endQuote = QStringLiteral(" value\"");

    QTest::newRow("empty") << QString() << QString() << QString() << QStringList();
    QTest::newRow("blanks only") << QStringLiteral(" \t \n") << QString() << QString() << QStringList();
    QTest::newRow("single") << QStringLiteral("abc") << QStringLiteral("abc") << QString() << QStringList();
    QTest::newRow("remainder keeps white space")
        << QStringLiteral("  a  b ") << QStringLiteral("a") << QStringLiteral("  b ") << QStringList();
    QTest::newRow("tab separates") << QStringLiteral("a\tb") << QStringLiteral("a") << QStringLiteral("\tb")
                                   << QStringList();
    QTest::newRow("no-break space separates")
        << QStringLiteral("a\u00a0b") << QStringLiteral("a") << QStringLiteral("\u00a0b") << QStringList();
    QTest::newRow("em space separates")
        << QStringLiteral("a\u2003b") << QStringLiteral("a") << QStringLiteral("\u2003b") << QStringList();
    QTest::newRow("quoted") << QStringLiteral(" \"a  b\" c") << QStringLiteral("a  b") << QStringLiteral(" c")
                            << QStringList();
    QTest::newRow("remainder right after closing quote")
        << QStringLiteral("\"a\"b") << QStringLiteral("a") << QStringLiteral("b") << QStringList();
    QTest::newRow("empty quotes") << QStringLiteral("\"\" x") << QString() << QStringLiteral(" x")
                                  << QStringList();
    QTest::newRow("quote inside unquoted item")
        << QStringLiteral("a\"b c") << QStringLiteral("a\"b") << QStringLiteral(" c") << QStringList();
    QTest::newRow("quote ends the line, not the item")
        << QStringLiteral("a b\"") << QStringLiteral("a") << QStringLiteral(" b\"") << QStringList();
    QTest::newRow("unterminated quote") << unterminated << QStringLiteral("open  text") << QString()
                                        << QStringList{startedFromQuote(unterminated)};
    QTest::newRow("lone quote") << QStringLiteral("\"") << QString() << QString()
                                << QStringList{startedFromQuote(QStringLiteral("\""))};
    QTest::newRow("item ended by quote") << gluedQuote << QStringLiteral("value\"") << QStringLiteral(" more")
                                         << QStringList{endedByQuote(gluedQuote)};
    QTest::newRow("last item ended by quote")
        << endQuote << QStringLiteral("value\"") << QString() << QStringList{endedByQuote(endQuote)};
}

void TestConfig::takeItem()
{
    QFETCH(QString, line);
    QFETCH(QString, item);
    QFETCH(QString, remainder);
    QFETCH(QStringList, messages);

    const MessageCatcher catcher;
    QString taken = QStringLiteral("stale");
    QCOMPARE(::takeItem(line, taken), remainder);
    QCOMPARE(taken, item);
    QCOMPARE(catcher.caught(), messages);
}

void TestConfig::takeItemSuccessive()
{
    QString rest = QStringLiteral(" \"Alarm Fault\" alarm.wav 80 nodeA");
    const QStringList expected{QStringLiteral("Alarm Fault"), QStringLiteral("alarm.wav"), QStringLiteral("80"),
                               QStringLiteral("nodeA"), QString(), QString()};
    for (const QString &want : expected) {
        QString item;
        rest = ::takeItem(rest, item);
        QCOMPARE(item, want);
    }
    QVERIFY(rest.isEmpty());

    const QString line = QStringLiteral("a \"b c\" d");
    int position = 0;
    QStringList items;
    while (position < line.size()) {
        QString item;
        position = takeItemAt(line, position, item);
        items.append(item);
    }
    QCOMPARE(items, (QStringList{QStringLiteral("a"), QStringLiteral("b c"), QStringLiteral("d")}));
}

void TestConfig::takeItemAtQuotesTheRemainder()
{
    const QString line = QStringLiteral("KEY \"unterminated text");
    const MessageCatcher catcher;
    QString item;
    QCOMPARE(takeItemAt(line, 3, item), line.size());
    QCOMPARE(item, QStringLiteral("unterminated text"));
    QCOMPARE(catcher.caught(), QStringList{startedFromQuote(QStringLiteral(" \"unterminated text"))});
}

void TestConfig::cutComment_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("code");

    QTest::newRow("no comment") << QStringLiteral("a b") << QStringLiteral("a b");
    QTest::newRow("trailing comment") << QStringLiteral("a 1   # note") << QStringLiteral("a 1   ");
    QTest::newRow("whole line") << QStringLiteral("# a b") << QString();
    QTest::newRow("first hash wins") << QStringLiteral("a#b#c") << QStringLiteral("a");
    QTest::newRow("hash in quotes") << QStringLiteral("KEY \"a#b\" # c") << QStringLiteral("KEY \"a#b\" ");
    QTest::newRow("apostrophe opens a stretch")
        << QStringLiteral("NAME O'Neil # note") << QStringLiteral("NAME O'Neil # note");
    QTest::newRow("apostrophes pair") << QStringLiteral("a 'b#' # c") << QStringLiteral("a 'b#' ");
    QTest::newRow("quote kinds share one flag")
        << QStringLiteral("\"it's\" # c") << QStringLiteral("\"it's\" # c");
    QTest::newRow("quote closed by apostrophe") << QStringLiteral("\"a' # c") << QStringLiteral("\"a' ");
}

void TestConfig::cutComment()
{
    QFETCH(QString, line);
    QFETCH(QString, code);
    QCOMPARE(::cutComment(line), code);
}

void TestConfig::isBlankLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("blank");

    QTest::newRow("empty") << QString() << true;
    QTest::newRow("white space") << QStringLiteral(" \t\u00a0 ") << true;
    QTest::newRow("comment") << QStringLiteral("  # a") << true;
    QTest::newRow("item") << QStringLiteral(" a ") << false;
    QTest::newRow("hash in quotes") << QStringLiteral("\"#\"") << false;
    QTest::newRow("open apostrophe hides the hash") << QStringLiteral("' # a") << false;
}

void TestConfig::isBlankLine()
{
    QFETCH(QString, line);
    QFETCH(bool, blank);
    QCOMPARE(::isBlankLine(line), blank);
}

QString TestConfig::writeFile(const QByteArray &content)
{
    const QString name = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".cfg");
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(name));
    return name;
}

void TestConfig::loadFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("rests");
    QTest::addColumn<QStringList>("messages");

    const QString none = QStringLiteral("(none)");
    const QStringList noMessages;

    QTest::newRow("empty file") << QByteArray() << QString() << none << QStringList() << QStringList()
                                << noMessages;
    QTest::newRow("comments and blanks") << QByteArray("# KEY x\n\n   \n\t# KEY y\n") << QStringLiteral("KEY")
                                         << none << QStringList() << QStringList() << noMessages;
    QTest::newRow("comment after value")
        << QByteArray("STARS_PORT 6057   # server port\n") << QStringLiteral("STARS_PORT") << QStringLiteral("6057")
        << QStringList{QStringLiteral("6057")} << QStringList{QStringLiteral(" 6057   ")} << noMessages;
    QTest::newRow("equals sign is no separator")
        << QByteArray("KEY=VALUE\n") << QStringLiteral("key=value") << QString() << QStringList{QString()}
        << QStringList{QString()} << noMessages;
    QTest::newRow("key in any case") << QByteArray("stars_port 7000") << QStringLiteral("STARS_PORT")
                                     << QStringLiteral("7000") << QStringList{QStringLiteral("7000")}
                                     << QStringList{QStringLiteral(" 7000")} << noMessages;
    QTest::newRow("CR LF line ends")
        << QByteArray("STARS_IP host\r\nSTARS_IP other\r\n") << QStringLiteral("STARS_IP") << QStringLiteral("host")
        << QStringList{QStringLiteral("host"), QStringLiteral("other")}
        << QStringList{QStringLiteral(" host"), QStringLiteral(" other")} << noMessages;
    QTest::newRow("three nodes in file order")
        << QByteArray("FLGON a\nFLGON b\nflgon c\n") << QStringLiteral("Flgon") << QStringLiteral("a")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}
        << QStringList{QStringLiteral(" a"), QStringLiteral(" b"), QStringLiteral(" c")} << noMessages;
    QTest::newRow("later items only in the rest")
        << QByteArray("FLGON a b\n") << QStringLiteral("FLGON") << QStringLiteral("a")
        << QStringList{QStringLiteral("a")} << QStringList{QStringLiteral(" a b")} << noMessages;
    QTest::newRow("quoted value") << QByteArray("EVENT \"Alarm Fault\" alarm.wav 80 nodeA\n")
                                  << QStringLiteral("EVENT") << QStringLiteral("Alarm Fault")
                                  << QStringList{QStringLiteral("Alarm Fault")}
                                  << QStringList{QStringLiteral(" \"Alarm Fault\" alarm.wav 80 nodeA")} << noMessages;
    QTest::newRow("quoted name") << QByteArray("\"my key\"\tv\n") << QStringLiteral("MY KEY") << QStringLiteral("v")
                                 << QStringList{QStringLiteral("v")} << QStringList{QStringLiteral("\tv")}
                                 << noMessages;
    QTest::newRow("name only") << QByteArray("FLGON\n") << QStringLiteral("FLGON") << QString()
                               << QStringList{QString()} << QStringList{QString()} << noMessages;
    QTest::newRow("empty name") << QByteArray("\"\"\n") << QString() << QString() << QStringList{QString()}
                                << QStringList{QString()} << noMessages;
    QTest::newRow("hash in quotes") << QByteArray("KEY \"a#b\"\n") << QStringLiteral("KEY") << QStringLiteral("a#b")
                                    << QStringList{QStringLiteral("a#b")} << QStringList{QStringLiteral(" \"a#b\"")}
                                    << noMessages;
    QTest::newRow("apostrophe keeps the hash")
        << QByteArray("NAME_ON_STARS O'Neil # note\n") << QStringLiteral("NAME_ON_STARS") << QStringLiteral("O'Neil")
        << QStringList{QStringLiteral("O'Neil")} << QStringList{QStringLiteral(" O'Neil # note")} << noMessages;
    QTest::newRow("unterminated quote")
        << QByteArray("KEY \"unterminated text\n") << QStringLiteral("KEY") << QStringLiteral("unterminated text")
        << QStringList{QStringLiteral("unterminated text")} << QStringList{QStringLiteral(" \"unterminated text")}
        << QStringList{startedFromQuote(QStringLiteral(" \"unterminated text"))};
    QTest::newRow("value ended by quote")
        << QByteArray("KEY value\"\n") << QStringLiteral("KEY") << QStringLiteral("value\"")
        << QStringList{QStringLiteral("value\"")} << QStringList{QStringLiteral(" value\"")}
        << QStringList{endedByQuote(QStringLiteral(" value\""))};
    QTest::newRow("value ended by quote before more")
        << QByteArray("KEY value\" more\n") << QStringLiteral("KEY") << QStringLiteral("value\"")
        << QStringList{QStringLiteral("value\"")} << QStringList{QStringLiteral(" value\" more")}
        << QStringList{endedByQuote(QStringLiteral(" value\" more"))};
}

void TestConfig::loadFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QStringList, values);
    QFETCH(QStringList, rests);
    QFETCH(QStringList, messages);

    const QString name = writeFile(content);
    Config store;
    {
        const MessageCatcher catcher;
        store.loadFile(name);
        QCOMPARE(catcher.caught(), messages);
    }
    QCOMPARE(store.valueOf(key, QStringLiteral("(none)")), value);
    QCOMPARE(store.allValuesOf(key), values);
    QCOMPARE(store.allRestsOf(key), rests);
}

void TestConfig::loadFileFailure_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("missing") << dir.filePath(QStringLiteral("missing.cfg"));
    QTest::newRow("empty name") << QString();
    QTest::newRow("directory") << dir.path();
}

void TestConfig::loadFileFailure()
{
    QFETCH(QString, name);

    Config store;
    store.addEntry(QStringLiteral("-c"), name, name);
    {
        const MessageCatcher catcher;
        store.loadFile(name);
        QCOMPARE(catcher.caught(), QStringList{QLatin1String(CantOpen) + name});
    }
    QCOMPARE(store.allValuesOf(QStringLiteral("-c")), QStringList{name});
    QCOMPARE(store.valueOf(QStringLiteral("STARS_PORT"), QStringLiteral("6057")), QStringLiteral("6057"));
}

void TestConfig::optionsPrecedeFileLines()
{
    Arguments arguments({QStringLiteral("velmar"), QStringLiteral("-STARS_IP"), QStringLiteral("fromArgs")});
    Config store;
    store.parseArgs(arguments.argc(), arguments.argv());
    store.loadFile(writeFile("STARS_IP fromFile\n-STARS_IP fileOption\n"));

    QCOMPARE(store.valueOf(QStringLiteral("STARS_IP")), QStringLiteral("fromFile"));
    QCOMPARE(store.exactValueOf(QStringLiteral("-STARS_IP")), QStringLiteral("fromArgs"));
    QCOMPARE(store.allValuesOf(QStringLiteral("-stars_ip")),
             (QStringList{QStringLiteral("fromArgs"), QStringLiteral("fileOption")}));
}

void TestConfig::lookups()
{
    Config store;
    store.addEntry(QStringLiteral("Key"), QStringLiteral("1"), QStringLiteral("r1"));
    store.addEntry(QStringLiteral("KEY"), QStringLiteral("2"), QStringLiteral("r2"));
    store.addEntry(QStringLiteral("Key"), QStringLiteral("3"), QStringLiteral("r3"));
    store.addEntry(QStringLiteral("other"), QStringLiteral("4"), QStringLiteral("r4"));

    QCOMPARE(store.valueOf(QStringLiteral("kEY")), QStringLiteral("1"));
    QCOMPARE(store.exactValueOf(QStringLiteral("Key")), QStringLiteral("1"));
    QCOMPARE(store.exactValueOf(QStringLiteral("KEY")), QStringLiteral("2"));
    QCOMPARE(store.exactValueOf(QStringLiteral("key"), QStringLiteral("d")), QStringLiteral("d"));
    QCOMPARE(store.exactValueOf(QStringLiteral("key")), QString());
    QCOMPARE(store.valueOf(QStringLiteral("missing"), QStringLiteral("d")), QStringLiteral("d"));
    QCOMPARE(store.allValuesOf(QStringLiteral("key")),
             (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    QCOMPARE(store.allRestsOf(QStringLiteral("KEY")),
             (QStringList{QStringLiteral("r1"), QStringLiteral("r2"), QStringLiteral("r3")}));
    QVERIFY(store.allValuesOf(QStringLiteral("missing")).isEmpty());
    QVERIFY(store.allRestsOf(QStringLiteral("missing")).isEmpty());
}

void TestConfig::parseArgs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("rests");
    QTest::addColumn<QString>("fileName");

    const QString program = QStringLiteral("velmar");
    const QString c = QStringLiteral("-c");
    const QString defaultFile = QStringLiteral("config.cfg");

    QTest::newRow("no arguments") << QStringList{program} << c << QStringList() << QStringList() << defaultFile;
    QTest::newRow("-c") << QStringList{program, c, QStringLiteral("my.cfg")} << c
                        << QStringList{QStringLiteral("my.cfg")} << QStringList{QStringLiteral("my.cfg")}
                        << QStringLiteral("my.cfg");
    QTest::newRow("-config wins over -c")
        << QStringList{program, QStringLiteral("-config"), QStringLiteral("a.cfg"), c, QStringLiteral("b.cfg")} << c
        << QStringList{QStringLiteral("b.cfg")} << QStringList{QStringLiteral("b.cfg")} << QStringLiteral("a.cfg");
    QTest::newRow("first -c wins")
        << QStringList{program, c, QStringLiteral("a.cfg"), c, QStringLiteral("b.cfg")} << c
        << QStringList{QStringLiteral("a.cfg"), QStringLiteral("b.cfg")}
        << QStringList{QStringLiteral("a.cfg"), QStringLiteral("b.cfg")} << QStringLiteral("a.cfg");
    QTest::newRow("option words are case-sensitive")
        << QStringList{program, QStringLiteral("-Config"), QStringLiteral("my.cfg")} << QStringLiteral("-CONFIG")
        << QStringList{QStringLiteral("my.cfg")} << QStringList{QStringLiteral("my.cfg")} << defaultFile;
    QTest::newRow("-c last") << QStringList{program, c} << c << QStringList{QString()} << QStringList{QString()}
                             << QString();
    QTest::newRow("-c before an option")
        << QStringList{program, c, QStringLiteral("-x")} << c << QStringList{QString()} << QStringList{QString()}
        << QString();
    QTest::newRow("several arguments")
        << QStringList{program, c, QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")} << c
        << QStringList{QStringLiteral("a")} << QStringList{QStringLiteral("a b c")} << QStringLiteral("a");
    QTest::newRow("argument before any option")
        << QStringList{program, QStringLiteral("my.cfg")} << QStringLiteral("my.cfg") << QStringList()
        << QStringList() << defaultFile;
    QTest::newRow("negative number is an option")
        << QStringList{program, QStringLiteral("-x"), QStringLiteral("-5")} << QStringLiteral("-5")
        << QStringList{QString()} << QStringList{QString()} << defaultFile;
    QTest::newRow("empty argument belongs to the option")
        << QStringList{program, c, QString(), QStringLiteral("b")} << c << QStringList{QString()}
        << QStringList{QStringLiteral(" b")} << QString();
    QTest::newRow("program path with a dash")
        << QStringList{QStringLiteral("-velmar"), QStringLiteral("x")} << QStringLiteral("-velmar")
        << QStringList{QStringLiteral("x")} << QStringList{QStringLiteral("x")} << defaultFile;
    QTest::newRow("UTF-8 argument") << QStringList{program, c, QStringLiteral("caf\u00e9.cfg")} << c
                                    << QStringList{QStringLiteral("caf\u00e9.cfg")}
                                    << QStringList{QStringLiteral("caf\u00e9.cfg")} << QStringLiteral("caf\u00e9.cfg");
}

void TestConfig::parseArgs()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, key);
    QFETCH(QStringList, values);
    QFETCH(QStringList, rests);
    QFETCH(QString, fileName);

    Arguments argv(arguments);
    Config store;
    store.parseArgs(argv.argc(), argv.argv());

    QCOMPARE(store.allValuesOf(key), values);
    QCOMPARE(store.allRestsOf(key), rests);
    const QString chosen = store.exactValueOf(QStringLiteral("-config"),
                                              store.exactValueOf(QStringLiteral("-c"), QStringLiteral("config.cfg")));
    QCOMPARE(chosen, fileName);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
