#include "app/config.h"
#include "app/configlocation.h"
#include "body/settings.h"

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

// The line functions, the configuration file, the command line and the operator, sound and log keys.
class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void lineFunctions_data();
    void lineFunctions();
    void loadFile_data();
    void loadFile();
    void parseArgs_data();
    void parseArgs();
    void firstRunCopyKeepsFiles();
    void operatorKeys_data();
    void operatorKeys();
};

void TestConfig::lineFunctions_data()
{
    QTest::addColumn<QString>("line");
    // takeItem's item and remainder, cutComment's code, isBlankLine, the debug line
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("white space") << " \t\u00a0 " << QStringList{"", "", " \t\u00a0 ", "1", ""};
    QTest::newRow("only a comment") << "  # a" << QStringList{"#", " a", "  ", "1", ""};
    QTest::newRow("unicode spaces separate, remainder keeps white space") << " a\u2003 b " << QStringList{"a", "\u2003 b ", " a\u2003 b ", "0", ""};
    QTest::newRow("item ended by quote") << "value\" more" << QStringList{"value\"", " more", "value\" more", "0", ToQuote.arg("value\" more")};
    const QString longRest = QStringLiteral("v\" ") + QString(300, QLatin1Char('w'));
    QTest::newRow("a long line shown cut") << longRest << QStringList{"v\"", longRest.mid(2), longRest, "0", ToQuote.arg(longRest.left(200) + "...")};
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
    QTest::addColumn<QString>("file");      // written with `content`, but for "."
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    // valueOf with the default "(none)", allValuesOf and allRestsOf in brackets, every message
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("comments, blanks, comment after value, apostrophe keeps the hash") << "c.cfg"
        << QByteArray("# PORT 1\n\n   \nPORT 6057   # port\n\t# PORT 2\nPORT O'Neil # note\n") << "PORT"
        << QStringList{"6057", "[6057][O'Neil]", "[ 6057   ][ O'Neil # note]", ""};
    QTest::newRow("any case, CR LF, file order, later items only in the rest, hash in quotes") << "c.cfg"
        << QByteArray("event \"Alarm #1\" a.wav 80 n # note\r\nEVENT b\r\n") << "Event"
        << QStringList{"Alarm #1", "[Alarm #1][b]", "[ \"Alarm #1\" a.wav 80 n ][ b]", ""};
    QTest::newRow("quoted name, unterminated quote") << "c.cfg" << QByteArray("\"my key\"\t\"open text\n") << "MY KEY"
                                                     << QStringList{"open text", "[open text]", "[\t\"open text]", FromQuote.arg("\t\"open text")};
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
    const QString name = QDir(dir.path()).cleanPath(dir.filePath(file));
    if (file == "c.cfg")
        QVERIFY(writeFile(name, content));
    if (expected.last().contains("%1"))
        expected.last() = expected.last().arg(name);
    Config store;
    const DebugCapture all;
    store.loadFile(name);
    QCOMPARE(QStringList({store.valueOf(key, "(none)"), brackets(store.allValuesOf(key)), brackets(store.allRestsOf(key)), all.lines.join('\n')}),
             expected);
}

void TestConfig::parseArgs_data()
{
    QTest::addColumn<QString>("arguments");   // "|"-separated, program path first
    QTest::addColumn<QString>("key");
    // allValuesOf and allRestsOf in brackets, and the configuration file the program reads
    QTest::addColumn<QStringList>("expected");

    // The list view compares names in any case, the exact one as written with its first entry.
    QTest::newRow("lists, first exact -c, several arguments, UTF-8, negative number is an option") << "velmar|-C|x|-c|caf\u00e9.cfg|b|c|-c|-5" << "-c"
        << QStringList{"[x][caf\u00e9.cfg][]", "[x][caf\u00e9.cfg b c][]", "caf\u00e9.cfg"};
    QTest::newRow("-config wins over -c") << "velmar|-c|b.cfg|-config|a.cfg" << "-config" << QStringList{"[a.cfg]", "[a.cfg]", "a.cfg"};
    QTest::newRow("argument before any option") << "velmar|my.cfg" << "my.cfg" << QStringList{"", "", "config.cfg"};
    QTest::newRow("empty argument belongs to the option") << "velmar|-c||b" << "-c" << QStringList{"[]", "[ b]", ""};
}

void TestConfig::parseArgs()
{
    QFETCH(QString, arguments);
    QFETCH(QString, key);
    QFETCH(QStringList, expected);
    QByteArrayList bytes = arguments.toUtf8().split('|');
    QVector<char *> argv;
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
    // reconnect ms, longest ms, time-out ms, link watched | alarm file | its volume, repeat ms | sound errors,
    // sound watch | bar, tray, hold-off ms, repeat until acknowledged, [critical events], alarm list, its keep
    // minutes | programs to run on a ring, on an event, their time-out ms | log file written, its name | journal
    // file (relative to the working directory, or "default"), days kept | notifications, D-Bus, one instance | debug
    // lines | [peer desks]
    QTest::addColumn<QString>("expected");

    QTest::newRow("no keys") << QByteArray("STARS_PORT 1\n") << "0 0 0 0||100 30000|0 0|0 0 0 0 [] 0 60|0 0 30000|0 | 90|0 0 0|0|[]";
    QTest::newRow("reconnect alone, default longest; switches on; the journal in its default place")
        << QByteArray("reconnect_sec 2\nSHOW_SOUND_ERRORS 1\nSOUND_WATCH 1\nOPERATOR_BAR 1\nTRAY 1\nREPEAT_UNTIL_ACK 1\nlog_file v-%1.log\nJOURNAL\n"
                      "NOTIFY 1\nDBUS 1\nSINGLE_INSTANCE 1\n")
        << "2000 60000 0 1||100 30000|1 1|1 1 0 1 [] 0 60|0 0 30000|1 v-%1.log|default 90|1 1 1|0|[]";
    QTest::newRow("longest below reconnect, alarm within bounds, upper bounds, critical events and desks on two lines, quoted, a journal in a folder")
        << QByteArray("RECONNECT_SEC 10\nRECONNECT_MAX_SEC 5\nLINK_LOST_SOUND a.wav 40 60\nEVENT_HOLDOFF_MS 600001\nCRITICAL_EVENTS Fire  Smoke\n"
                      "critical_events \"Flood  Wave\"\nALARM_LIST 1\nALARM_LIST_KEEP_MIN 1441\nRUN_TIMEOUT_SEC 3601\nDESKS Zendri2  Zendri3\ndesks \"Z4\" Zendri2\n"
                      "JOURNAL state/j.db\nJOURNAL_KEEP_DAYS 3651\n")
        << "10000 10000 0 1|a.wav|40 60000|0 0|0 0 600000 0 [Fire Smoke Flood Wave] 1 1440|0 0 3600000|0 |state/j.db 3650|0 0 0|5|[Zendri2 Zendri3 Z4]";
    QTest::newRow("reconnect too long, alarm out of bounds, switches not 0 or 1, desks that are no node names")
        << QByteArray("RECONNECT_SEC 99999\nLINK_LOST_SOUND \"my a.wav\" 150 1\nSHOW_SOUND_ERRORS yes\nSOUND_WATCH 2\nOPERATOR_BAR 2\nTRAY -1\nDESKS a.b A>B C\n"
                      "NOTIFY 2\nDBUS on\nSINGLE_INSTANCE -1\n")
        << "3600000 3600000 0 1|my a.wav|100 5000|0 0|1 0 0 0 [] 0 60|0 0 30000|0 | 90|1 0 0|12|[C]";
    QTest::newRow("time-out alone, lower bounds, not a number, programs, one without, log file without a name")
        << QByteArray("LINK_TIMEOUT_SEC 2\nRECONNECT_SEC soon\nALARM_LIST_KEEP_MIN 0\nRUN_ON_RING say \"from %sender\" \"\"\n"
                      "RUN_ON_EVENT \" Fire  Alarm\" ./a b\nRUN_ON_EVENT Ping\nRUN_ON_RING\nRUN_TIMEOUT_SEC 0\nLOG_FILE\njournal j.db\n"
                      "JOURNAL_KEEP_DAYS 0\n")
        << "0 0 5000 1||100 30000|0 0|0 0 0 0 [] 0 1|1 1 1000|1 |j.db 1|0 0 0|7|[]";
    QTest::newRow("alarm alone: defaults, not a number, the first line counts; time-out zero, reconnect negative")
        << QByteArray("LINK_TIMEOUT_SEC 0\nRECONNECT_SEC -5\nLINK_LOST_SOUND a.wav loud\nLINK_LOST_SOUND b.wav\n")
        << "0 0 0 1|a.wav|100 30000|0 0|0 0 0 0 [] 0 60|0 0 30000|0 | 90|0 0 0|2|[]";
}

// Each key is off when absent; a value that is not a whole number or lies outside its bounds
// gives one debug line and its default or nearest bound. The link is watched when any of
// reconnection, time-out and alarm is on.
void TestConfig::operatorKeys()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QVERIFY(loadConfig(text));
    const DebugCapture debug("velmar.config");
    const Settings s = Settings::fromConfig(config);
    const OperatorSettings &o = s.operatorViews;
    const AlarmSettings &a = s.alarms;
    const QString link = QStringLiteral("%1 %2 %3 %4").arg(s.link.reconnectMs).arg(s.link.maxReconnectMs).arg(s.link.timeoutMs)
                             .arg(s.supervisesLink());
    const QString sound = QStringLiteral("%1 %2|%3 %4").arg(s.linkLostSound.volume).arg(s.linkLostSound.repeatMs)
                              .arg(s.showSoundErrors).arg(s.soundWatch);
    const QString features = QStringLiteral("%1 %2 %3 %4 [%5] %6 %7").arg(o.bar).arg(o.tray).arg(a.holdoffMs).arg(a.repeatUntilAck)
                                 .arg(a.criticalEvents.join(' ')).arg(o.alarmList).arg(a.keepAcknowledgedMs / 60000);
    // The file names are joined, not formatted: a "%1" in them stays as it is.
    const QString runs = QStringLiteral("%1 %2 %3|%4 ").arg(s.runs.onRing.size()).arg(s.runs.onEvent.size()).arg(s.runs.timeoutMs)
                             .arg(s.logToFile) + s.logFileName;
    const QString journal = (s.journal.file == JournalSettings::defaultFile(QProcessEnvironment::systemEnvironment())
                                 ? "default" : QDir::current().relativeFilePath(s.journal.file))
        + ' ' + QString::number(s.journal.keepDays);
    const QString desktop = QStringLiteral("%1 %2 %3").arg(s.desktop.notify).arg(s.desktop.dbus).arg(s.desktop.singleInstance);
    QCOMPARE(QStringList({link, s.linkLostSound.file, sound, features, runs, journal, desktop, QString::number(debug.lines.size()),
                          '[' + s.desks.join(' ') + ']'}).join('|'), expected);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
