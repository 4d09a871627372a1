#include <QtTest>

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "stars/stars.h"

// The settings panel's form and the address history of the hosts and ports the user enters.
class TestStarsHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form_data();
    void form();
    void panel();
    void focusOrder();

    void firstReturnCreatesTheFile();
    void unchangedFieldAppendsNothing();
    void changeAndBack();
    void leavingTheFieldRecords();
    void programSetTextIsNotRecorded();
    void historyFile_data();
    void historyFile();
    void historyFollowsTheWorkingDirectory();
    void unwritableHistoryLosesTheEntry();

private:
    QByteArray history() const;
    void writeHistory(const QByteArray &content);

    QTemporaryDir *dir = nullptr;
    QString previousDir;
    Stars *stars = nullptr;
};

void TestStarsHistory::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    stars = new Stars;
}

void TestStarsHistory::cleanup()
{
    delete stars;
    QDir::setCurrent(previousDir);
    delete dir;
}

QByteArray TestStarsHistory::history() const
{
    QFile file(dir->filePath("OrvelHistory.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return "(no file)";
    return file.readAll();
}

void TestStarsHistory::writeHistory(const QByteArray &content)
{
    QFile file(dir->filePath("OrvelHistory.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

void TestStarsHistory::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<int>("stretch");

    const int preferred = QSizePolicy::Preferred;
    const int expanding = QSizePolicy::Expanding;
    const int fixed = QSizePolicy::Fixed;
    QTest::newRow("L01") << "L01" << "QLabel" << 0 << 1 << "Name on Stares" << preferred << preferred << 0;
    QTest::newRow("L02") << "L02" << "QLabel" << 0 << 2 << "Key File Name" << preferred << preferred << 0;
    QTest::newRow("L03") << "L03" << "QLabel" << 0 << 3 << "Host" << preferred << preferred << 0;
    QTest::newRow("L04") << "L04" << "QLabel" << 0 << 4 << "Port" << preferred << preferred << 0;
    QTest::newRow("L05") << "L05" << "QLabel" << 0 << 5 << "Action" << preferred << preferred << 0;
    QTest::newRow("L06") << "L06" << "QLabel" << 0 << 6 << "Status" << preferred << preferred << 0;
    QTest::newRow("L11") << "L11" << "QLabel" << 1 << 0 << "Stars:" << preferred << preferred << 0;
    QTest::newRow("nameOnStarsLE") << "nameOnStarsLE" << "QLineEdit" << 1 << 1 << "Quobex" << expanding << fixed << 1;
    QTest::newRow("keyFileLE") << "keyFileLE" << "QLineEdit" << 1 << 2 << "Quobex.key" << expanding << fixed << 2;
    QTest::newRow("hostLE") << "hostLE" << "QLineEdit" << 1 << 3 << "localhost" << expanding << fixed << 4;
    QTest::newRow("portLE") << "portLE" << "QLineEdit" << 1 << 4 << "6057" << expanding << fixed << 1;
    // The connection status button has already repainted these two.
    QTest::newRow("connectB") << "connectB" << "QPushButton" << 1 << 5 << "Connect" << int(QSizePolicy::Minimum)
                              << fixed << 1;
    QTest::newRow("statusL") << "statusL" << "QLabel" << 1 << 6 << "Disconnected" << preferred << preferred << 1;
}

void TestStarsHistory::form()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(int, stretch);

    auto *widget = stars->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(int(widget->sizePolicy().horizontalPolicy()), horizontal);
    QCOMPARE(int(widget->sizePolicy().verticalPolicy()), vertical);
    QCOMPARE(widget->sizePolicy().horizontalStretch(), stretch);

    auto *grid = qobject_cast<QGridLayout *>(stars->layout());
    QVERIFY(grid);
    int r = -1, c = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(widget), &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({r, c, rowSpan, columnSpan}), QList<int>({row, column, 1, 1}));
}

void TestStarsHistory::panel()
{
    QCOMPARE(stars->objectName(), QString("Stars"));
    QCOMPARE(stars->windowTitle(), QString("Stars Settings"));
    QCOMPARE(stars->size(), QSize(591, 37));
    QCOMPARE(stars->frameShape(), QFrame::NoFrame);
    QCOMPARE(stars->frameShadow(), QFrame::Raised);
    auto *grid = qobject_cast<QGridLayout *>(stars->layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QString("gridLayout"));
    QCOMPARE(grid->spacing(), 3);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(grid->count(), 13);
    QVERIFY(!grid->itemAtPosition(0, 0));
    auto *status = stars->findChild<QLabel *>("statusL");
    QCOMPARE(status->frameShape(), QFrame::StyledPanel);
    QCOMPARE(status->frameShadow(), QFrame::Raised);
    QCOMPARE(status->styleSheet(), QString("background-color: rgb(176, 192, 192);"));
}

// The creation order sets the keyboard focus order.
void TestStarsHistory::focusOrder()
{
    QStringList order;
    QWidget *widget = stars->findChild<QLineEdit *>("hostLE");
    for (int i = 0; i < 5; ++i) {
        order << widget->objectName();
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
    }
    QCOMPARE(order, QStringList({"hostLE", "nameOnStarsLE", "keyFileLE", "connectB", "portLE"}));
}

void TestStarsHistory::firstReturnCreatesTheFile()
{
    QCOMPARE(history(), QByteArray("(no file)"));
    QTest::keyClick(stars->hostField(), Qt::Key_Return);
    QCOMPARE(history(), QByteArray("A: localhost\n"));
    QTest::keyClick(stars->portField(), Qt::Key_Enter);
    QCOMPARE(history(), QByteArray("A: localhost\nP: 6057\n"));
}

void TestStarsHistory::unchangedFieldAppendsNothing()
{
    stars->show();
    QVERIFY(QTest::qWaitForWindowActive(stars));
    stars->hostField()->setFocus();
    QTest::keyClick(stars->hostField(), Qt::Key_Return);
    QTest::keyClick(stars->hostField(), Qt::Key_Return);
    stars->portField()->setFocus();
    QTRY_VERIFY(stars->portField()->hasFocus());
    QCOMPARE(history(), QByteArray("A: localhost\n"));
}

void TestStarsHistory::changeAndBack()
{
    QLineEdit *host = stars->hostField();
    QTest::keyClick(host, Qt::Key_Return);
    host->setText("second");
    QTest::keyClick(host, Qt::Key_Return);
    host->setText("localhost");
    QTest::keyClick(host, Qt::Key_Return);
    QCOMPARE(history(), QByteArray("A: localhost\nA: second\nA: localhost\n"));
}

void TestStarsHistory::leavingTheFieldRecords()
{
    stars->show();
    QVERIFY(QTest::qWaitForWindowActive(stars));
    QLineEdit *host = stars->hostField();
    QLineEdit *port = stars->portField();
    host->setFocus();
    QTRY_VERIFY(host->hasFocus());
    port->setFocus();
    QTRY_VERIFY(port->hasFocus());
    port->selectAll();
    QTest::keyClicks(port, "7000");
    host->setFocus();
    QTRY_VERIFY(host->hasFocus());
    QCOMPARE(history(), QByteArray("A: localhost\nP: 7000\n"));
}

void TestStarsHistory::programSetTextIsNotRecorded()
{
    stars->hostField()->setText("elsewhere");
    stars->portField()->setText("1");
    QCOMPARE(history(), QByteArray("(no file)"));
}

void TestStarsHistory::historyFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("appended");

    QTest::newRow("inner blank is kept, read back as its first word") << QByteArray("A: my host\n") << false
                                                                      << "my host" << QByteArray("A: my host\n");
    QTest::newRow("empty host, no host recorded") << QByteArray("P: 1\n") << false << "" << QByteArray();
    QTest::newRow("empty host after a host") << QByteArray("A: x\n") << false << "" << QByteArray("A: \n");
    QTest::newRow("empty host line is skipped") << QByteArray("A: x\nA: \n") << false << "" << QByteArray("A: \n");
    QTest::newRow("lower-case key") << QByteArray("a: localhost\n") << false << "localhost" << QByteArray();
    QTest::newRow("lower-case port key") << QByteArray("p: 9\n") << true << "9" << QByteArray();
    QTest::newRow("further words ignored") << QByteArray("A:  h   extra\n") << false << "h" << QByteArray();
    QTest::newRow("later line wins") << QByteArray("A: x\nA: y\n") << false << "x" << QByteArray("A: x\n");
    QTest::newRow("port does not suppress host") << QByteArray("P: localhost\n") << false << "localhost"
                                                 << QByteArray("A: localhost\n");
    QTest::newRow("host does not suppress port") << QByteArray("A: 6057\n") << true << "6057" << QByteArray("P: 6057\n");
    QTest::newRow("port text is not checked") << QByteArray() << true << "not a port" << QByteArray("P: not a port\n");
    QTest::newRow("text not trimmed") << QByteArray("A: h\n") << false << " h" << QByteArray("A:  h\n");
    QTest::newRow("case-sensitive compare") << QByteArray("A: Host\n") << false << "host" << QByteArray("A: host\n");
    QTest::newRow("key glued to the value") << QByteArray("A:h\n") << false << "h" << QByteArray("A: h\n");
    QTest::newRow("other lines skipped") << QByteArray("junk\n\nX: y\n  A:\th \t\nB: c\n") << false << "h" << QByteArray();
    QTest::newRow("CR LF file") << QByteArray("A: h\r\n") << false << "h" << QByteArray();
    QTest::newRow("no final line feed") << QByteArray("P: 5") << true << "5" << QByteArray();
}

void TestStarsHistory::historyFile()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, port);
    QFETCH(QString, text);
    QFETCH(QByteArray, appended);

    writeHistory(before);
    QLineEdit *field = port ? stars->portField() : stars->hostField();
    field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(history(), before + appended);
}

void TestStarsHistory::historyFollowsTheWorkingDirectory()
{
    QTemporaryDir other;
    QVERIFY(other.isValid());
    QVERIFY(QDir::setCurrent(other.path()));
    QTest::keyClick(stars->hostField(), Qt::Key_Return);
    QCOMPARE(history(), QByteArray("(no file)"));
    QFile file(other.filePath("OrvelHistory.dat"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("A: localhost\n"));
    QVERIFY(QDir::setCurrent(dir->path()));
}

void TestStarsHistory::unwritableHistoryLosesTheEntry()
{
    QVERIFY(QDir(dir->path()).mkdir("OrvelHistory.dat"));
    QTest::keyClick(stars->hostField(), Qt::Key_Return);
    QTest::keyClick(stars->portField(), Qt::Key_Return);
    QVERIFY(QFileInfo(dir->filePath("OrvelHistory.dat")).isDir());
    QVERIFY(QDir(dir->filePath("OrvelHistory.dat")).isEmpty());
}

QTEST_MAIN(TestStarsHistory)
#include "tst_starshistory.moc"
