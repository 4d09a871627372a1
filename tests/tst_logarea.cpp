#include "log/logarea.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

namespace {

const QString Prefix = QStringLiteral(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d: )");
const QString StampFormat = QStringLiteral("yy/MM/dd hh:mm:ss.zzz");

// Counts every message that reaches the debug channel while it lives.
class MessageCounter
{
public:
    MessageCounter() : previous(qInstallMessageHandler(handle)) { current = this; }
    ~MessageCounter()
    {
        current = nullptr;
        qInstallMessageHandler(previous);
    }
    int count = 0;

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &) { ++current->count; }
    static inline MessageCounter *current = nullptr;
    QtMessageHandler previous;
};

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

} // namespace

// Peers connect to the log area by signature strings; this one does the same.
class Emitter : public QObject
{
    Q_OBJECT
signals:
    void line(const QString &msg, const QColor c);
    void text(const QString &msg);
};

class TestLogArea : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void initialFileName();
    void lineShownAndWritten_data();
    void lineShownAndWritten();
    void colour();
    void blockLimit_data();
    void blockLimit();
    void vlog_data();
    void vlog();
    void unopenableFile_data();
    void unopenableFile();
    void cursorMovesToEnd();
    void selectionIsReplaced_data();
    void selectionIsReplaced();
    void connections_data();
    void connections();

private:
    QTextEdit *display() const { return area->findChild<QTextEdit *>("LogDisp"); }
    QLineEdit *fileName() const { return area->findChild<QLineEdit *>("LogFileName"); }
    QCheckBox *box(const char *name) const { return area->findChild<QCheckBox *>(name); }
    QString blockText(int number) const
    {
        return display()->document()->findBlockByNumber(number).text();
    }
    QColor colourAt(int position) const
    {
        QTextCursor cursor(display()->document());
        cursor.setPosition(position + 1);
        return cursor.charFormat().foreground().color();
    }
    void writeTo(const QString &name)
    {
        fileName()->setText(name);
        box("IsWriteTo")->setChecked(true);
    }

    QTemporaryDir *dir = nullptr;
    LogArea *area = nullptr;
    QString logFile;
};

void TestLogArea::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    logFile = dir->filePath("out.dat");
    area = new LogArea(nullptr, LogArea::MaxLogBlocks);
}

void TestLogArea::cleanup()
{
    delete area;
    delete dir;
}

void TestLogArea::initialFileName()
{
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    const QString before = QDateTime::currentDateTime().toString("yyMMdd-hhmmss");
    const LogArea fresh(nullptr, 10);
    const QString after = QDateTime::currentDateTime().toString("yyMMdd-hhmmss");
    QVERIFY(QDir::setCurrent(previous));

    const QFileInfo name(fresh.findChild<QLineEdit *>("LogFileName")->text());
    QVERIFY(name.isAbsolute());
    QCOMPARE(name.absolutePath(), QDir(dir->path()).absolutePath());
    QVERIFY(QRegularExpression(R"(^log-\d{6}-\d{6}\.dat$)").match(name.fileName()).hasMatch());
    const QString stamp = name.fileName().mid(4, 13);
    QVERIFY(before <= stamp && stamp <= after);
    QVERIFY(QDir(dir->path()).isEmpty());
}

void TestLogArea::lineShownAndWritten_data()
{
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QStringList>("blocks");
    QTest::newRow("plain") << "Connected To Stars" << QStringList{"Connected To Stars", ""};
    QTest::newRow("empty") << "" << QStringList{"", ""};
    QTest::newRow("inner line feeds") << "one\ntwo\nthree" << QStringList{"one", "two", "three", ""};
}

void TestLogArea::lineShownAndWritten()
{
    QFETCH(QString, msg);
    QFETCH(QStringList, blocks);
    writeTo(logFile);
    const QString before = QDateTime::currentDateTime().toString(StampFormat);
    area->log(msg);
    const QString after = QDateTime::currentDateTime().toString(StampFormat);

    QTextDocument *document = display()->document();
    QCOMPARE(document->blockCount(), blocks.size());
    const QString first = blockText(0);
    QVERIFY(QRegularExpression("^" + Prefix + "$").match(first.left(23)).hasMatch());
    const QString stamp = first.left(21);
    QVERIFY(before <= stamp && stamp <= after);
    QCOMPARE(first.mid(23), blocks.first());
    for (int i = 1; i < blocks.size(); ++i)
        QCOMPARE(blockText(i), blocks.at(i));

    QCOMPARE(readAll(logFile), first.left(23) + msg + "\n");
}

void TestLogArea::colour()
{
    area->log("red", Qt::red);
    area->log("black");
    area->log("half blue", QColor(0, 0, 255, 128));

    QTextDocument *document = display()->document();
    QCOMPARE(colourAt(document->findBlockByNumber(0).position()), QColor(Qt::red));
    QCOMPARE(colourAt(document->findBlockByNumber(1).position()), QColor(0, 0, 0));
    QCOMPARE(colourAt(document->findBlockByNumber(1).position()).alpha(), 255);
    QCOMPARE(colourAt(document->findBlockByNumber(2).position()), QColor(0, 0, 255, 128));
}

void TestLogArea::blockLimit_data()
{
    QTest::addColumn<int>("maxBlocks");
    QTest::addColumn<int>("lines");
    QTest::newRow("below the limit") << 5 << 3;
    QTest::newRow("small limit") << 3 << 5;
    QTest::newRow("main window's limit") << int(LogArea::MaxLogBlocks) << 2000;
}

void TestLogArea::blockLimit()
{
    QFETCH(int, maxBlocks);
    QFETCH(int, lines);
    LogArea limited(nullptr, maxBlocks);
    limited.findChild<QLineEdit *>("LogFileName")->setText(logFile);
    limited.findChild<QCheckBox *>("IsWriteTo")->setChecked(true);
    for (int i = 0; i < lines; ++i)
        limited.log(QString("line %1").arg(i));

    const QTextDocument *document = limited.findChild<QTextEdit *>("LogDisp")->document();
    const int kept = qMin(lines, maxBlocks - 1);
    QCOMPARE(document->blockCount(), kept + 1);
    QVERIFY(document->firstBlock().text().endsWith(QString(": line %1").arg(lines - kept)));
    QVERIFY(document->lastBlock().text().isEmpty());
    QCOMPARE(readAll(logFile).count('\n'), lines);
}

void TestLogArea::vlog_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::newRow("verbose off") << false;
    QTest::newRow("verbose on") << true;
}

void TestLogArea::vlog()
{
    QFETCH(bool, verbose);
    writeTo(logFile);
    box("Verbose")->setChecked(verbose);
    area->vlog("msg from stars[x]", Qt::blue);

    QCOMPARE(display()->document()->blockCount(), verbose ? 2 : 1);
    QCOMPARE(blockText(0).endsWith(": msg from stars[x]"), verbose);
    QCOMPARE(QFile::exists(logFile), verbose);
    if (verbose)
        QCOMPARE(colourAt(0), QColor(Qt::blue));
}

void TestLogArea::unopenableFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("emptied") << "";
    QTest::newRow("missing directory") << "no/such/dir/out.dat";
    QTest::newRow("a directory") << ".";
}

void TestLogArea::unopenableFile()
{
    QFETCH(QString, name);
    writeTo(name.isEmpty() ? name : dir->filePath(name));
    {
        const MessageCounter messages;
        area->log("kept on screen");
        QCOMPARE(messages.count, 0);
    }
    QVERIFY(blockText(0).endsWith(": kept on screen"));
    QVERIFY(QDir(dir->path()).isEmpty());

    fileName()->setText(logFile);
    area->log("next");
    QVERIFY(readAll(logFile).endsWith(": next\n"));
}

void TestLogArea::cursorMovesToEnd()
{
    area->log("first");
    area->log("second");
    const QString second = blockText(1);
    const int split = 5;
    QTextCursor cursor = display()->textCursor();
    const int middle = display()->document()->findBlockByNumber(1).position() + split;
    cursor.setPosition(middle);
    display()->setTextCursor(cursor);

    area->log("inserted", Qt::green);
    QCOMPARE(blockText(1).left(split), second.left(split));
    QVERIFY(QRegularExpression("^" + Prefix + "inserted$").match(blockText(1).mid(split)).hasMatch());
    QCOMPARE(blockText(2), second.mid(split));
    QCOMPARE(colourAt(middle), QColor(Qt::green));
    QCOMPARE(display()->textCursor().position(), display()->document()->characterCount() - 1);
    QVERIFY(!display()->textCursor().hasSelection());

    area->log("last");
    QVERIFY(blockText(3).endsWith(": last"));
}

void TestLogArea::selectionIsReplaced_data()
{
    QTest::addColumn<bool>("backwards");
    QTest::newRow("selected forwards") << false;
    QTest::newRow("selected backwards") << true;
}

void TestLogArea::selectionIsReplaced()
{
    QFETCH(bool, backwards);
    area->log("select me");
    area->log("keep me");
    const QTextBlock first = display()->document()->firstBlock();
    const int start = first.position();
    const int end = start + first.length() - 1;
    QTextCursor cursor(display()->document());
    cursor.setPosition(backwards ? end : start);
    cursor.setPosition(backwards ? start : end, QTextCursor::KeepAnchor);
    display()->setTextCursor(cursor);

    area->log("replacement", Qt::red);
    QVERIFY(!display()->toPlainText().contains("select me"));
    QVERIFY(blockText(0).endsWith(": replacement"));
    QCOMPARE(colourAt(0), QColor(Qt::red));
    QVERIFY(blockText(2).endsWith(": keep me"));
    QVERIFY(!display()->textCursor().hasSelection());
}

void TestLogArea::connections_data()
{
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("log, two arguments")
        << QByteArray(SIGNAL(line(const QString &, const QColor)))
        << QByteArray(SLOT(log(const QString &, const QColor))) << QColor(Qt::red);
    QTest::newRow("log, one argument") << QByteArray(SIGNAL(text(QString)))
                                       << QByteArray(SLOT(log(QString))) << QColor(0, 0, 0);
    QTest::newRow("vlog, two arguments") << QByteArray(SIGNAL(line(QString, QColor)))
                                         << QByteArray(SLOT(vlog(QString, QColor)))
                                         << QColor(Qt::red);
    QTest::newRow("vlog, one argument") << QByteArray(SIGNAL(text(const QString &)))
                                        << QByteArray(SLOT(vlog(const QString &)))
                                        << QColor(0, 0, 0);
}

void TestLogArea::connections()
{
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, slot);
    QFETCH(QColor, expected);
    box("Verbose")->setChecked(true);
    Emitter emitter;
    QVERIFY(QObject::connect(&emitter, signal.constData(), area, slot.constData()));
    emit emitter.line("coloured", Qt::red);
    emit emitter.text("coloured");

    QCOMPARE(display()->document()->blockCount(), 2);
    QVERIFY(blockText(0).endsWith(": coloured"));
    QCOMPARE(colourAt(0), expected);
}

QTEST_MAIN(TestLogArea)
#include "tst_logarea.moc"
