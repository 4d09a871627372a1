#include "body/body.h"
#include "debugcapture.h"
#include "log/logarea.h"
#include "log/logcolours.h"
#include "support.h"

#include <QtTest>
#include <QtWidgets>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

namespace {

const QRegularExpression Stamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d: )");
const QString StampFormat = QStringLiteral("yy/MM/dd hh:mm:ss.zzz: ");
// The main window's log window keeps this many blocks: the lines and the empty one after them.
constexpr int Full = 2000;
// Lines are shown within milliseconds, a flood of them under the sanitizers within a second.
constexpr int Wait = 5000;

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// "@" for opaque black, "!" for the failure red, "+" for the recovery green, any other colour
// by its #AARRGGBB name.
QString mark(const QColor &colour)
{
    if (colour == LogColours::Failure || colour == LogColours::Recovery)
        return colour == LogColours::Failure ? "!" : "+";
    return colour == QColor(Qt::black) ? "@" : colour.name(QColor::HexArgb);
}

// The display's blocks, each time stamp replaced by the mark of its line's colour.
QStringList shown(const QTextEdit *display)
{
    QStringList blocks;
    for (QTextBlock block = display->document()->firstBlock(); block.isValid(); block = block.next()) {
        QString marked;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            marked += it.fragment().text().replace(Stamp, mark(it.fragment().charFormat().foreground().color()));
        blocks << marked;
    }
    return blocks;
}

} // namespace

class TestLogArea : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void display_data();
    void display();
    void fileFaults_data();
    void fileFaults();

private:
    QTextEdit *logDisp() const { return area->findChild<QTextEdit *>("LogDisp"); }
    QLineEdit *fileName() const { return area->findChild<QLineEdit *>("LogFileName"); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Body> body;
    LogArea *area = nullptr;
    QString logFile;
    bool frozen = false;
};

// Every row starts in a new working directory with a new main window, whose log window proposes
// the file "log-<start time>.dat" there without creating it; LOG_FILE's writeTo then names the
// test's file relative to the working directory and ticks "Write To". Once a row has found the
// display showing nothing new, the rows left are skipped: each would wait as long, past CTest's
// time-out.
void TestLogArea::init()
{
    if (frozen)
        QSKIP("an earlier row found the display frozen");
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(dir->path()));
    const auto proposal = [] { return QDir::current().absoluteFilePath("log-" + QDateTime::currentDateTime().toString("yyMMdd-hhmmss") + ".dat"); };
    const QString before = proposal();
    QVERIFY(loadConfig("CONNECT_TO_STARS 0\n"));
    body = std::make_unique<Body>();
    area = logWindow();
    QVERIFY(fileName()->text() == before || fileName()->text() == proposal());
    QVERIFY(!QFile::exists(fileName()->text()));
    area->show();
    area->writeTo("out.dat");
    logFile = QDir::current().absoluteFilePath("out.dat");
    QCOMPARE(fileName()->text(), logFile);
}

// Steps: "msg" logs in black, "!msg" in red, "?msg" and "?!msg" the same through vlog, which
// shows and writes nothing until "V" ticks Verbose; "^abc" clicks just after "abc", "]abc["
// selects it from right to left; "|" lets the event loop show the waiting lines; "~" waits for
// the next second; "#N FIRST" lets the event loop show one pass of waiting lines, after which
// the display holds N blocks, the first being FIRST; "%N" lowers the main window's limit of
// blocks to N. The steps reach the slots by their signatures, as peers do. A line goes where
// the cursor is when it is shown, so a click made before a batch is shown takes the batch's
// first line.
void TestLogArea::display_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty message, inner line feeds, colours in one batch, a new second, vlog once Verbose is ticked")
        << QStringList{"", "one\ntwo\nthree", "!red", "black", "~", "second", "?quiet", "?!red", "V", "?!c", "?d", "|"}
        << QStringList{"@", "@one", "two", "three", "!red", "@black", "@second", "!c", "@d", ""};
    const QStringList inserted{"@first", "@sec!inserted", "ond", "@last", ""};
    QTest::newRow("click, batch") << QStringList{"first", "second", "|", "^sec", "!inserted", "last", "|"} << inserted;
    QTest::newRow("click between two lines of a batch") << QStringList{"first", "second", "|", "!inserted", "^sec", "last", "|"} << inserted;
    QTest::newRow("backward selection") << QStringList{"select me", "keep me", "|", "]select me[", "!new", "|"} << QStringList{"@!new", "", "@keep me", ""};
    QTest::newRow("limit, click, batch as long") << QStringList{"%3", "a", "bb", "|", "^b", "c", "d", "e", "|"} << QStringList{"@d", "@e", ""};
    QStringList flood{"0", "1"}, kept;
    for (int i = 2; i <= Full; ++i) {
        flood << QString::number(i);
        kept << "@" + QString::number(i);
    }
    // Shown 50 at a time; the first line is dropped unseen, and the 2000th shown removes the first shown.
    QTest::newRow("main window's limit, batches") << flood + QStringList{"#51 @1", "|"} << kept + QStringList{""};
}

void TestLogArea::display()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    QString last, written;
    for (const QString &step : steps) {
        if (step == "|") {
            frozen = !QTest::qWaitFor([&] { return shown(logDisp()).join('\n').contains(last); }, Wait);
            QVERIFY2(!frozen, qPrintable("not shown: " + last));
        } else if (step.startsWith('%')) {
            logDisp()->document()->setMaximumBlockCount(step.mid(1).toInt());
        } else if (step.startsWith('#')) {
            QVERIFY(QSignalSpy(logDisp()->document(), &QTextDocument::contentsChanged).wait(Wait));
            QCOMPARE(QString::number(logDisp()->document()->blockCount()) + ' ' + shown(logDisp()).first(), step.mid(1));
        } else if (step == "~") {
            const qint64 second = QDateTime::currentSecsSinceEpoch();
            QVERIFY(QTest::qWaitFor([&] { return QDateTime::currentSecsSinceEpoch() != second; }, Wait));
        } else if (step.startsWith('^') || step.startsWith(']')) {
            const QString target = step.startsWith('^') ? step.mid(1) : step.mid(1, step.size() - 2);
            const int start = logDisp()->toPlainText().indexOf(target);
            QVERIFY(start >= 0);
            QTextCursor cursor(logDisp()->document());
            cursor.setPosition(start + target.size());
            cursor.setPosition(step.startsWith(']') ? start : start + target.size(), QTextCursor::KeepAnchor);
            logDisp()->setTextCursor(cursor);
        } else if (step == "V") {
            area->findChild<QCheckBox *>("Verbose")->setChecked(true);
        } else {
            const char *slot = step.startsWith('?') ? "vlog" : "log";
            QString msg = step.mid(step.startsWith('?') ? 1 : 0);
            const bool red = msg.startsWith('!');
            msg.remove(0, red ? 1 : 0);
            const QString before = QDateTime::currentDateTime().toString(StampFormat);
            QVERIFY(red ? QMetaObject::invokeMethod(area, slot, Q_ARG(QString, msg), Q_ARG(QColor, LogColours::Failure))
                        : QMetaObject::invokeMethod(area, slot, Q_ARG(QString, msg)));
            if (slot == QLatin1String("vlog") && !area->findChild<QCheckBox *>("Verbose")->isChecked())
                continue;
            // The whole line is in the file, stamped with the current time, when the slot returns.
            const QString file = readAll(logFile);
            const QString stamp = file.right(StampFormat.size() + msg.size() + 1).left(StampFormat.size());
            QVERIFY(file.endsWith(msg + '\n'));
            QVERIFY(before <= stamp && stamp <= QDateTime::currentDateTime().toString(StampFormat));
            last = (red ? "!" : "@") + msg;
            written += '@' + msg + '\n';
        }
    }
    QCOMPARE(shown(logDisp()), expected);
    QCOMPARE(readAll(logFile).replace(Stamp, "@"), written);
    QVERIFY(logDisp()->viewport()->rect().contains(logDisp()->cursorRect()));
}

void TestLogArea::fileFaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("error");
    QTest::newRow("emptied name") << "" << 0;
    QTest::newRow("missing directory") << "no/such/dir/out.dat" << 0;
    QTest::newRow("line cut short by the size limit") << "out.dat" << EFBIG;
    QTest::newRow("no space left") << "/dev/full" << ENOSPC;
}

// A file that cannot be opened is skipped without a word. A line that cannot be written
// whole leaves nothing of itself in the file; the display says so once, and once more when
// writing works again.
void TestLogArea::fileFaults()
{
    QFETCH(QString, name);
    QFETCH(int, error);
    const QString faulty = name.isEmpty() ? name : QDir(dir->path()).absoluteFilePath(name);
    area->log("one");
    // With SIGXFSZ ignored, the kernel writes the part of a line below the limit and fails
    // the rest with EFBIG: a real partial write.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit lowered{rlim_t(QFileInfo(logFile).size() + 10), saved.rlim_max};
    QVERIFY(error != EFBIG || setrlimit(RLIMIT_FSIZE, &lowered) == 0);
    const DebugCapture messages;
    fileName()->setText(faulty);
    area->log("two");
    area->log("three");
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    fileName()->setText(logFile);
    area->log("four");
    area->log("five");

    QStringList expected{"@one", "@two", "@three", "@four", "@five", ""};
    if (error != 0) {
        expected.insert(4, "+Writing to the log file " + logFile + " has resumed");
        expected.insert(2, "!The log file " + faulty + " could not be written: " + std::strerror(error));
    }
    QTRY_COMPARE_WITH_TIMEOUT(shown(logDisp()), expected, Wait);
    QCOMPARE(readAll(logFile).replace(Stamp, "@"), QString("@one\n@four\n@five\n"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"out.dat"});
    if (name != "/dev/full") // Qt warns that it cannot seek to the end of a device
        QCOMPARE(messages.lines, QStringList());
}

QTEST_MAIN(TestLogArea)
#include "tst_logarea.moc"
