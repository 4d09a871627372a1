#include "app/config.h"
#include "app/configlocation.h"
#include "app/settings.h"

#include <QTemporaryDir>
#include <QtTest>

#include "debugcapture.h"
#include "support.h"

namespace {

const QString FromQuote = QStringLiteral("In a line [%1] item is started from quote but not ended by quote");
const QString ToQuote = QStringLiteral("In a line [%1] item is started from not quote but ended by quote");

// Each element in brackets, so that an empty list and a list of one empty string differ.
QString brackets(const QStringList &elements)
{
    return elements.isEmpty() ? QString() : '[' + elements.join("][") + ']';
}

} // namespace

// The line functions, the configuration file, the command line and the operator keys.
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
    void firstRunCopyKeepsFiles();
    void operatorKeys_data();
    void operatorKeys();
    void soundKeys_data();
    void soundKeys();
};

void TestConfig::lineFunctions_data()
{
    QTest::addColumn<QString>("line");
    // takeItem's item and remainder, cutComment's code, isBlankLine, the debug line
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << "" << QStringList{"", "", "", "1", ""};
    QTest::newRow("white space") << " \t\u00a0 " << QStringList{"", "", " \t\u00a0 ", "1", ""};
    QTest::newRow("remainder keeps white space") << "  a  b " << QStringList{"a", "  b ", "  a  b ", "0", ""};
    QTest::newRow("unicode spaces separate") << "a\u2003b" << QStringList{"a", "\u2003b", "a\u2003b", "0", ""};
    QTest::newRow("quoted") << " \"a  b\" c" << QStringList{"a  b", " c", " \"a  b\" c", "0", ""};
    QTest::newRow("remainder right after the quote") << "\"a\"b" << QStringList{"a", "b", "\"a\"b", "0", ""};
    QTest::newRow("empty quotes") << "\"\" x" << QStringList{"", " x", "\"\" x", "0", ""};
    QTest::newRow("quote inside an item") << "a\"b c" << QStringList{"a\"b", " c", "a\"b c", "0", ""};
    QTest::newRow("unterminated quote") << "  \"open  text" << QStringList{"open  text", "", "  \"open  text", "0", FromQuote.arg("  \"open  text")};
    QTest::newRow("item ended by quote") << "value\" more" << QStringList{"value\"", " more", "value\" more", "0", ToQuote.arg("value\" more")};
    QTest::newRow("last item ended by quote") << " value\"" << QStringList{"value\"", "", " value\"", "0", ToQuote.arg(" value\"")};
    QTest::newRow("comment") << "a 1   # note" << QStringList{"a", " 1   # note", "a 1   ", "0", ""};
    QTest::newRow("only a comment") << "  # a" << QStringList{"#", " a", "  ", "1", ""};
    QTest::newRow("first hash wins") << "a#b#c" << QStringList{"a#b#c", "", "a", "0", ""};
    QTest::newRow("hash in quotes") << "K \"a#b\" # c" << QStringList{"K", " \"a#b\" # c", "K \"a#b\" ", "0", ""};
    QTest::newRow("apostrophe opens a stretch") << "N O'Neil # x" << QStringList{"N", " O'Neil # x", "N O'Neil # x", "0", ""};
    QTest::newRow("quote kinds share one flag") << "\"a' # c" << QStringList{"a' # c", "", "\"a' ", "0", FromQuote.arg("\"a' # c")};
}

void TestConfig::lineFunctions()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    const DebugCapture debug("velmar.config");
    QString item = QStringLiteral("stale");
    const QString remainder = takeItem(line, item);
    QCOMPARE(QStringList({item, remainder, cutComment(line), QString::number(isBlankLine(line)), debug.lines.join('\n')}), expected);
}

void TestConfig::loadFile_data()
{
    QTest::addColumn<QString>("file");      // written with `content`; "missing.cfg", "" and "." are not
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    // valueOf with the default "(none)", allValuesOf and allRestsOf in brackets, every message
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("comments and blanks") << "c.cfg" << QByteArray("# KEY x\n\n   \n\t# KEY y\n") << "KEY" << QStringList{"(none)", "", "", ""};
    QTest::newRow("comment after value") << "c.cfg" << QByteArray("STARS_PORT 6057   # port\n") << "STARS_PORT" << QStringList{"6057", "[6057]", "[ 6057   ]", ""};
    QTest::newRow("no equals separator") << "c.cfg" << QByteArray("KEY=VALUE\n") << "key=value" << QStringList{"", "[]", "[]", ""};
    QTest::newRow("any case, CR LF, file order") << "c.cfg" << QByteArray("flgon a\r\nFLGON b\r\n") << "Flgon" << QStringList{"a", "[a][b]", "[ a][ b]", ""};
    QTest::newRow("later items only in the rest") << "c.cfg" << QByteArray("EVENT \"Alarm Fault\" a.wav 80 n\n") << "EVENT"
                                                  << QStringList{"Alarm Fault", "[Alarm Fault]", "[ \"Alarm Fault\" a.wav 80 n]", ""};
    QTest::newRow("quoted name") << "c.cfg" << QByteArray("\"my key\"\tv\n") << "MY KEY" << QStringList{"v", "[v]", "[\tv]", ""};
    QTest::newRow("apostrophe keeps the hash") << "c.cfg" << QByteArray("NAME O'Neil # note\n") << "NAME" << QStringList{"O'Neil", "[O'Neil]", "[ O'Neil # note]", ""};
    QTest::newRow("unterminated quote") << "c.cfg" << QByteArray("KEY \"open text\n") << "KEY"
                                        << QStringList{"open text", "[open text]", "[ \"open text]", FromQuote.arg(" \"open text")};
    QTest::newRow("missing file") << "missing.cfg" << QByteArray() << "KEY" << QStringList{"(none)", "", "", "Can't open config file : %1"};
    QTest::newRow("empty name") << "" << QByteArray() << "KEY" << QStringList{"(none)", "", "", "Can't open config file : "};
    QTest::newRow("directory") << "." << QByteArray() << "KEY" << QStringList{"(none)", "", "", "Can't open config file : %1"};
}

// A file that cannot be opened gives its one line and no Qt warning of its own.
void TestConfig::loadFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString name = file.isEmpty() ? QString() : QDir(dir.path()).cleanPath(dir.filePath(file));
    if (file == "c.cfg")
        QVERIFY(writeFile(name, content));
    if (expected.last().contains("%1"))
        expected.last() = expected.last().arg(name);
    Config store;
    const DebugCapture all;
    store.loadFile(name);
    const QString messages = all.lines.join('\n');
    QCOMPARE(QStringList({store.valueOf(key, "(none)"), brackets(store.allValuesOf(key)), brackets(store.allRestsOf(key)), messages}), expected);
}

// Single-value lookups see the first entry of a key; the exact view compares names as written.
void TestConfig::lookups()
{
    Config store;
    store.addEntry("Key", "1", "r1");
    store.addEntry("KEY", "2", "r2");
    store.addEntry("Key", "3", "r3");
    QCOMPARE(QStringList({store.valueOf("kEY"), store.exactValueOf("KEY"), store.exactValueOf("key", "d")}), QStringList({"1", "2", "d"}));
    QCOMPARE(brackets(store.allValuesOf("key")) + brackets(store.allRestsOf("KEY")), QString("[1][2][3][r1][r2][r3]"));
}

void TestConfig::parseArgs_data()
{
    QTest::addColumn<QString>("arguments");   // "|"-separated, program path first
    QTest::addColumn<QString>("key");
    // allValuesOf and allRestsOf in brackets, and the configuration file the program reads
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("none") << "velmar" << "-c" << QStringList{"", "", "config.cfg"};
    QTest::newRow("-config wins over -c") << "velmar|-config|a.cfg|-c|b.cfg" << "-c" << QStringList{"[b.cfg]", "[b.cfg]", "a.cfg"};
    QTest::newRow("first -c wins") << "velmar|-c|a.cfg|-c|b.cfg" << "-c" << QStringList{"[a.cfg][b.cfg]", "[a.cfg][b.cfg]", "a.cfg"};
    QTest::newRow("option words are case-sensitive") << "velmar|-Config|my.cfg" << "-CONFIG" << QStringList{"[my.cfg]", "[my.cfg]", "config.cfg"};
    QTest::newRow("-c last") << "velmar|-c" << "-c" << QStringList{"[]", "[]", ""};
    QTest::newRow("-c before an option") << "velmar|-c|-x" << "-c" << QStringList{"[]", "[]", ""};
    QTest::newRow("several arguments") << "velmar|-c|a|b|c" << "-c" << QStringList{"[a]", "[a b c]", "a"};
    QTest::newRow("argument before any option") << "velmar|my.cfg" << "my.cfg" << QStringList{"", "", "config.cfg"};
    QTest::newRow("negative number is an option") << "velmar|-x|-5" << "-5" << QStringList{"[]", "[]", "config.cfg"};
    QTest::newRow("empty argument belongs to the option") << "velmar|-c||b" << "-c" << QStringList{"[]", "[ b]", ""};
    QTest::newRow("an option never sets a file key") << "velmar|-STARS_IP|h" << "STARS_IP" << QStringList{"", "", "config.cfg"};
    QTest::newRow("UTF-8") << "velmar|-c|caf\u00e9.cfg" << "-c" << QStringList{"[caf\u00e9.cfg]", "[caf\u00e9.cfg]", "caf\u00e9.cfg"};
}

void TestConfig::parseArgs()
{
    QFETCH(QString, arguments);
    QFETCH(QString, key);
    QFETCH(QStringList, expected);
    QList<QByteArray> bytes;
    QVector<char *> argv;
    for (const QString &argument : arguments.split('|'))
        bytes << argument.toUtf8();
    for (QByteArray &argument : bytes)
        argv << argument.data();
    Config store;
    store.parseArgs(argv.size(), argv.data());
    // The examples' folder holds a config.cfg of its own.
    const QString file = ConfigLocation::choose(store, QProcessEnvironment(), VELMAR_SOURCE_DIR "/examples").file;
    QCOMPARE(QStringList({brackets(store.allValuesOf(key)), brackets(store.allRestsOf(key)), file}), expected);
}

// The first run copies the build tree's examples, where the program finds them, and keeps a file
// that is already there.
void TestConfig::firstRunCopyKeepsFiles()
{
    QTemporaryDir dir;
    const QString examples = QFileInfo(VELMAR_BIN).path() + "/../share/velmar/examples";
    QVERIFY(writeFile(dir.filePath("config.cfg"), "mine\n"));
    QVERIFY(ConfigLocation::copyExamples(examples, dir.path()));
    QCOMPARE(QFileInfo(dir.filePath("config.cfg")).size(), qint64(5));
    QCOMPARE(QFileInfo(dir.filePath("keys/Zendri.key")).size(), QFileInfo(examples + "/keys/Zendri.key").size());
    QVERIFY(!ConfigLocation::copyExamples(dir.filePath("none"), dir.filePath("none-copied")));
}

void TestConfig::operatorKeys_data()
{
    QTest::addColumn<QByteArray>("text");
    // reconnect ms, longest ms, time-out ms | alarm file, volume, repeat ms | sound errors |
    // bar, tray, hold-off ms, repeat until acknowledged, [critical events], alarm list, its keep
    // minutes | debug lines [| programs to run on a ring, on an event, their time-out ms]
    QTest::addColumn<QString>("expected");

    QTest::newRow("no keys") << QByteArray("STARS_PORT 1\n") << "0 0 0||100 30000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("reconnect, default longest") << QByteArray("reconnect_sec 2\n") << "2000 60000 0||100 30000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("reconnect above the default longest") << QByteArray("RECONNECT_SEC 90\n") << "90000 90000 0||100 30000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("longest below reconnect") << QByteArray("RECONNECT_SEC 10\nRECONNECT_MAX_SEC 5\n") << "10000 10000 0||100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("longest not a number") << QByteArray("RECONNECT_SEC 1\nRECONNECT_MAX_SEC x\n") << "1000 60000 0||100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("reconnect too long") << QByteArray("RECONNECT_SEC 99999\n") << "3600000 3600000 0||100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("reconnect not a number") << QByteArray("RECONNECT_SEC soon\n") << "0 0 0||100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("reconnect negative") << QByteArray("RECONNECT_SEC -5\n") << "0 0 0||100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("time-out below its bound") << QByteArray("LINK_TIMEOUT_SEC 2\n") << "0 0 5000||100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("time-out zero") << QByteArray("LINK_TIMEOUT_SEC 0\n") << "0 0 0||100 30000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("alarm defaults") << QByteArray("LINK_LOST_SOUND a.wav\n") << "0 0 0|a.wav|100 30000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("alarm out of bounds") << QByteArray("LINK_LOST_SOUND \"my a.wav\" 150 1\n") << "0 0 0|my a.wav|100 5000|0|0 0 0 0 [] 0 60|2";
    QTest::newRow("alarm volume and repeat") << QByteArray("LINK_LOST_SOUND a.wav 40 60\n") << "0 0 0|a.wav|40 60000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("alarm volume not a number") << QByteArray("LINK_LOST_SOUND a.wav loud\n") << "0 0 0|a.wav|100 30000|0|0 0 0 0 [] 0 60|1";
    QTest::newRow("first alarm line counts") << QByteArray("LINK_LOST_SOUND a.wav\nLINK_LOST_SOUND b.wav\n") << "0 0 0|a.wav|100 30000|0|0 0 0 0 [] 0 60|0";
    QTest::newRow("switches on") << QByteArray("SHOW_SOUND_ERRORS 1\nOPERATOR_BAR 1\nTRAY 1\nREPEAT_UNTIL_ACK 1\n") << "0 0 0||100 30000|1|1 1 0 1 [] 0 60|0";
    QTest::newRow("switches not 0 or 1") << QByteArray("SHOW_SOUND_ERRORS yes\nOPERATOR_BAR 2\nTRAY -1\n") << "0 0 0||100 30000|0|1 0 0 0 [] 0 60|3";
    QTest::newRow("hold-off and its bound") << QByteArray("EVENT_HOLDOFF_MS 600001\n") << "0 0 0||100 30000|0|0 0 600000 0 [] 0 60|1";
    QTest::newRow("alarm list, critical events on two lines")
        << QByteArray("CRITICAL_EVENTS Fire  Smoke\ncritical_events Flood\nALARM_LIST 1\nALARM_LIST_KEEP_MIN 1441\n")
        << "0 0 0||100 30000|0|0 0 0 0 [Fire Smoke Flood] 1 1440|1";
    QTest::newRow("keep minutes below the bound") << QByteArray("ALARM_LIST_KEEP_MIN 0\n") << "0 0 0||100 30000|0|0 0 0 0 [] 0 1|1";
    QTest::newRow("programs, one without") << QByteArray("RUN_ON_RING say \"from %sender\" \"\"\nRUN_ON_EVENT \" Fire  Alarm\" ./a b\nRUN_ON_EVENT Ping\nRUN_ON_RING\nRUN_TIMEOUT_SEC 0\n")
                                           << "0 0 0||100 30000|0|0 0 0 0 [] 0 60|3|1 1 1000";
    QTest::newRow("program time-out too long") << QByteArray("RUN_TIMEOUT_SEC 3601\n") << "0 0 0||100 30000|0|0 0 0 0 [] 0 60|1|0 0 3600000";
}

// Each key is off when absent; a value that is not a whole number or lies outside its bounds
// gives one debug line and its default or nearest bound.
void TestConfig::operatorKeys()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QVERIFY(loadConfig(text));
    const DebugCapture debug("velmar.config");
    const Settings s = Settings::fromConfig(config);
    const OperatorSettings &o = s.operatorFeatures;
    QCOMPARE(QStringLiteral("%1 %2 %3|%4|%5 %6|%7|%8 %9 ").arg(s.link.reconnectMs).arg(s.link.maxReconnectMs).arg(s.link.timeoutMs)
                 .arg(s.linkLostSound.file).arg(s.linkLostSound.volume).arg(s.linkLostSound.repeatMs).arg(s.showSoundErrors)
                 .arg(o.bar).arg(o.tray)
                 + QStringLiteral("%1 %2 [%3] %4 %5|%6").arg(o.horn.holdoffMs).arg(o.horn.repeatUntilAck)
                       .arg(o.horn.criticalEvents.join(' ')).arg(o.alarmList).arg(o.alarmListKeepMin).arg(debug.lines.size()),
             expected.section('|', 0, 5));
    const QString runs = QStringLiteral("%1 %2 %3").arg(s.runs.onRing.size()).arg(s.runs.onEvent.size()).arg(s.runs.timeoutMs);
    QCOMPARE(runs, expected.section('|', 6).isEmpty() ? "0 0 30000" : expected.section('|', 6));
    QCOMPARE(s.supervisesLink(), s.link.reconnectMs > 0 || s.link.timeoutMs > 0 || !s.linkLostSound.file.isEmpty());
}

void TestConfig::soundKeys_data()
{
    QTest::addColumn<QByteArray>("text");
    // sound watch | log file written, its name | debug lines
    QTest::addColumn<QString>("expected");
    QTest::newRow("both") << QByteArray("SOUND_WATCH 1\nlog_file v-%1.log\n") << "1|1 v-%1.log|0";
    QTest::newRow("log file without a name") << QByteArray("LOG_FILE\n") << "0|1 |0";
    QTest::newRow("watch not 0 or 1") << QByteArray("SOUND_WATCH 2\n") << "0|0 |1";
}

void TestConfig::soundKeys()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QVERIFY(loadConfig(text));
    const DebugCapture debug("velmar.config");
    const Settings s = Settings::fromConfig(config);
    QCOMPARE(QStringLiteral("%1|%2 %3|%4").arg(QString::number(s.soundWatch), QString::number(s.logToFile), s.logFileName,
                                                QString::number(debug.lines.size())), expected);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
