#include "app/config.h"

#include <QTemporaryDir>
#include <QtTest>

#include "debugcapture.h"
#include "support.h"

namespace {

const QString FromQuote = QStringLiteral("In a line [%1] item is started from quote but not ended by quote");
const QString ToQuote = QStringLiteral("In a line [%1] item is started from not quote but ended by quote");

// "a|b|c" as a list; "" is the empty list.
QStringList list(const QString &joined)
{
    return joined.isEmpty() ? QStringList() : joined.split(QLatin1Char('|'));
}

// Each element in brackets, so that an empty list and a list of one empty string differ.
QString brackets(const QStringList &elements)
{
    return elements.isEmpty() ? QString() : '[' + elements.join("][") + ']';
}

} // namespace

// The line functions, the configuration file and the command line.
class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void lineFunctions_data();
    void lineFunctions();
    void loadFile_data();
    void loadFile();
    void lookups();
    void parseArgs_data();
    void parseArgs();
};

void TestConfig::lineFunctions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("item");       // takeItem's item and remainder, as "item|remainder"
    QTest::addColumn<QString>("code");       // cutComment
    QTest::addColumn<bool>("blank");         // isBlankLine
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("empty") << "" << "|" << "" << true << "";
    QTest::newRow("white space") << " \t\u00a0 " << "|" << " \t\u00a0 " << true << "";
    QTest::newRow("remainder keeps white space") << "  a  b " << "a|  b " << "  a  b " << false << "";
    QTest::newRow("unicode spaces separate") << "a\u2003b" << "a|\u2003b" << "a\u2003b" << false << "";
    QTest::newRow("quoted") << " \"a  b\" c" << "a  b| c" << " \"a  b\" c" << false << "";
    QTest::newRow("remainder right after the quote") << "\"a\"b" << "a|b" << "\"a\"b" << false << "";
    QTest::newRow("empty quotes") << "\"\" x" << "| x" << "\"\" x" << false << "";
    QTest::newRow("quote inside an item") << "a\"b c" << "a\"b| c" << "a\"b c" << false << "";
    QTest::newRow("unterminated quote") << "  \"open  text" << "open  text|" << "  \"open  text" << false << FromQuote.arg("  \"open  text");
    QTest::newRow("item ended by quote") << "value\" more" << "value\"| more" << "value\" more" << false << ToQuote.arg("value\" more");
    QTest::newRow("last item ended by quote") << " value\"" << "value\"|" << " value\"" << false << ToQuote.arg(" value\"");
    QTest::newRow("comment") << "a 1   # note" << "a| 1   # note" << "a 1   " << false << "";
    QTest::newRow("only a comment") << "  # a" << "#| a" << "  " << true << "";
    QTest::newRow("first hash wins") << "a#b#c" << "a#b#c|" << "a" << false << "";
    QTest::newRow("hash in quotes") << "K \"a#b\" # c" << "K| \"a#b\" # c" << "K \"a#b\" " << false << "";
    QTest::newRow("apostrophe opens a stretch") << "N O'Neil # x" << "N| O'Neil # x" << "N O'Neil # x" << false << "";
    QTest::newRow("quote kinds share one flag") << "\"a' # c" << "a' # c|" << "\"a' " << false << FromQuote.arg("\"a' # c");
}

void TestConfig::lineFunctions()
{
    QFETCH(QString, line);
    QFETCH(QString, item);
    QFETCH(QString, code);
    QFETCH(bool, blank);
    QFETCH(QString, debugLine);

    const DebugCapture debug("velmar.config");
    QString taken = QStringLiteral("stale");
    const QString remainder = takeItem(line, taken);
    QCOMPARE(taken + '|' + remainder, item);
    QCOMPARE(debug.lines, list(debugLine));
    QCOMPARE(cutComment(line), code);
    QCOMPARE(isBlankLine(line), blank);
}

void TestConfig::loadFile_data()
{
    QTest::addColumn<QString>("file");       // written with `content`; "missing.cfg", "" and "." are not
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");      // valueOf with the default "(none)"
    QTest::addColumn<QString>("values");     // allValuesOf, each in brackets
    QTest::addColumn<QString>("rests");
    QTest::addColumn<QString>("messages");   // every message, of any kind

    QTest::newRow("comments and blanks") << "c.cfg" << QByteArray("# KEY x\n\n   \n\t# KEY y\n") << "KEY" << "(none)" << "" << "" << "";
    QTest::newRow("comment after value") << "c.cfg" << QByteArray("STARS_PORT 6057   # port\n") << "STARS_PORT" << "6057" << "[6057]" << "[ 6057   ]" << "";
    QTest::newRow("no equals separator") << "c.cfg" << QByteArray("KEY=VALUE\n") << "key=value" << "" << "[]" << "[]" << "";
    QTest::newRow("any case, CR LF, file order") << "c.cfg" << QByteArray("flgon a\r\nFLGON b\r\n") << "Flgon" << "a" << "[a][b]" << "[ a][ b]" << "";
    QTest::newRow("later items only in the rest") << "c.cfg" << QByteArray("EVENT \"Alarm Fault\" a.wav 80 n\n") << "EVENT" << "Alarm Fault" << "[Alarm Fault]" << "[ \"Alarm Fault\" a.wav 80 n]" << "";
    QTest::newRow("quoted name") << "c.cfg" << QByteArray("\"my key\"\tv\n") << "MY KEY" << "v" << "[v]" << "[\tv]" << "";
    QTest::newRow("apostrophe keeps the hash") << "c.cfg" << QByteArray("NAME O'Neil # note\n") << "NAME" << "O'Neil" << "[O'Neil]" << "[ O'Neil # note]" << "";
    QTest::newRow("unterminated quote") << "c.cfg" << QByteArray("KEY \"open text\n") << "KEY" << "open text" << "[open text]" << "[ \"open text]" << FromQuote.arg(" \"open text");
    QTest::newRow("missing file") << "missing.cfg" << QByteArray() << "KEY" << "(none)" << "" << "" << "Can't open config file : %1";
    QTest::newRow("empty name") << "" << QByteArray() << "KEY" << "(none)" << "" << "" << "Can't open config file : %1";
    QTest::newRow("directory") << "." << QByteArray() << "KEY" << "(none)" << "" << "" << "Can't open config file : %1";
}

// A file that cannot be opened gives its one line and no Qt warning of its own.
void TestConfig::loadFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, values);
    QFETCH(QString, rests);
    QFETCH(QString, messages);
    QTemporaryDir dir;
    const QString name = file.isEmpty() ? QString() : QDir(dir.path()).cleanPath(dir.filePath(file));
    if (file == "c.cfg")
        QVERIFY(writeFile(name, content));

    const QString expected = messages.contains("%1") ? messages.arg(name) : messages;
    Config store;
    {
        const DebugCapture all;
        store.loadFile(name);
        QCOMPARE(all.lines.join('\n'), expected);
    }
    QCOMPARE(store.valueOf(key, "(none)"), value);
    QCOMPARE(brackets(store.allValuesOf(key)), values);
    QCOMPARE(brackets(store.allRestsOf(key)), rests);
}

// Single-value lookups see the first entry of a key; the exact view compares names as written.
void TestConfig::lookups()
{
    Config store;
    store.addEntry("Key", "1", "r1");
    store.addEntry("KEY", "2", "r2");
    store.addEntry("Key", "3", "r3");
    QCOMPARE(store.valueOf("kEY"), QString("1"));
    QCOMPARE(store.exactValueOf("KEY"), QString("2"));
    QCOMPARE(store.exactValueOf("key", "d"), QString("d"));
    QCOMPARE(store.allValuesOf("key"), list("1|2|3"));
    QCOMPARE(store.allRestsOf("KEY"), list("r1|r2|r3"));
}

void TestConfig::parseArgs_data()
{
    QTest::addColumn<QString>("arguments");   // "|"-separated, program path first
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("values");       // each in brackets
    QTest::addColumn<QString>("rests");
    QTest::addColumn<QString>("file");         // the configuration file the program reads

    QTest::newRow("none") << "velmar" << "-c" << "" << "" << "config.cfg";
    QTest::newRow("-config wins over -c") << "velmar|-config|a.cfg|-c|b.cfg" << "-c" << "[b.cfg]" << "[b.cfg]" << "a.cfg";
    QTest::newRow("first -c wins") << "velmar|-c|a.cfg|-c|b.cfg" << "-c" << "[a.cfg][b.cfg]" << "[a.cfg][b.cfg]" << "a.cfg";
    QTest::newRow("option words are case-sensitive") << "velmar|-Config|my.cfg" << "-CONFIG" << "[my.cfg]" << "[my.cfg]" << "config.cfg";
    QTest::newRow("-c last") << "velmar|-c" << "-c" << "[]" << "[]" << "";
    QTest::newRow("-c before an option") << "velmar|-c|-x" << "-c" << "[]" << "[]" << "";
    QTest::newRow("several arguments") << "velmar|-c|a|b|c" << "-c" << "[a]" << "[a b c]" << "a";
    QTest::newRow("argument before any option") << "velmar|my.cfg" << "my.cfg" << "" << "" << "config.cfg";
    QTest::newRow("negative number is an option") << "velmar|-x|-5" << "-5" << "[]" << "[]" << "config.cfg";
    QTest::newRow("empty argument belongs to the option") << "velmar|-c||b" << "-c" << "[]" << "[ b]" << "";
    QTest::newRow("an option never sets a file key") << "velmar|-STARS_IP|h" << "STARS_IP" << "" << "" << "config.cfg";
    QTest::newRow("UTF-8") << "velmar|-c|caf\u00e9.cfg" << "-c" << "[caf\u00e9.cfg]" << "[caf\u00e9.cfg]" << "caf\u00e9.cfg";
}

void TestConfig::parseArgs()
{
    QFETCH(QString, arguments);
    QFETCH(QString, key);
    QFETCH(QString, values);
    QFETCH(QString, rests);
    QFETCH(QString, file);
    QList<QByteArray> bytes;
    QVector<char *> argv;
    for (const QString &argument : arguments.split('|'))
        bytes << argument.toUtf8();
    for (QByteArray &argument : bytes)
        argv << argument.data();

    Config store;
    store.parseArgs(argv.size(), argv.data());
    QCOMPARE(brackets(store.allValuesOf(key)), values);
    QCOMPARE(brackets(store.allRestsOf(key)), rests);
    QCOMPARE(store.exactValueOf("-config", store.exactValueOf("-c", "config.cfg")), file);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
