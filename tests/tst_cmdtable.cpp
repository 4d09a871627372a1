#include <QtTest>

#include "stars/amsg.h"
#include "stars/cmdtable.h"

class TestCmdTable : public QObject
{
    Q_OBJECT

private slots:
    void duplicates_data();
    void duplicates();
    void cmdList_data();
    void cmdList();
    void lookups_data();
    void lookups();
    void helpOfId();

private:
    static CmdTable builtIns();
};

CmdTable TestCmdTable::builtIns()
{
    CmdTable table;
    table.add(CmdHello, "Hello", "Answer greeting message");
    table.add(CmdHelp, "Help", "Show help message");
    table.add(CmdIsBusy, "IsBusy", "Answer if Zendri is busy");
    return table;
}

void TestCmdTable::duplicates_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("debug");

    QTest::newRow("same id") << 0 << "Foo" << R"(Duplicated id 0 "Foo" "new help")";
    QTest::newRow("same word") << 7 << "Hello" << R"(Duplicated msg 7 "Hello" "new help")";
    // The first entry has the word, the second the id: the earlier one decides.
    QTest::newRow("word of an earlier entry") << 1 << "Hello" << R"(Duplicated msg 1 "Hello" "new help")";
    QTest::newRow("id of an earlier entry") << 0 << "Help" << R"(Duplicated id 0 "Help" "new help")";
}

void TestCmdTable::duplicates()
{
    QFETCH(int, id);
    QFETCH(QString, msg);
    QFETCH(QString, debug);

    CmdTable table = builtIns();
    QTest::ignoreMessage(QtDebugMsg, debug.toUtf8());
    table.add(id, msg, "new help");

    QCOMPARE(table.cmdList(), QString("Hello Help IsBusy"));
    QCOMPARE(table.helpOf("Hello"), QString("Answer greeting message"));
    QCOMPARE(table.helpOfId(1), QString("Show help message"));
    QCOMPARE(table.idOf("Foo"), int(CmdNotFound));
}

void TestCmdTable::cmdList_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("listed");

    QTest::newRow("empty table") << QStringList() << QString("");
    QTest::newRow("built-ins and one more") << QStringList{"Hello", "Help", "IsBusy", "Foo"}
                                            << "Hello Help IsBusy Foo";
    QTest::newRow("hidden words") << QStringList{"", "@Reply", "Hello", "_Event", "Help"} << "Hello Help";
    QTest::newRow("only hidden words") << QStringList{"_a", "@b"} << "";
}

void TestCmdTable::cmdList()
{
    QFETCH(QStringList, words);
    QFETCH(QString, listed);

    CmdTable table;
    for (int i = 0; i < words.size(); ++i)
        table.add(10 + i, words.at(i), "help of " + words.at(i));
    QCOMPARE(table.cmdList(), listed);
}

void TestCmdTable::lookups_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("help");

    QTest::newRow("exact") << "IsBusy" << int(CmdIsBusy) << "Answer if Zendri is busy";
    QTest::newRow("other case") << "hello" << int(CmdNotFound) << "";
    QTest::newRow("leading blank") << " Hello" << int(CmdNotFound) << "";
    QTest::newRow("trailing blank") << "Hello " << int(CmdNotFound) << "";
    QTest::newRow("empty") << "" << int(CmdNotFound) << "";
    QTest::newRow("hidden word by its exact text") << "_Tick" << 9 << "Periodic tick";
}

void TestCmdTable::lookups()
{
    QFETCH(QString, word);
    QFETCH(int, id);
    QFETCH(QString, help);

    CmdTable table = builtIns();
    table.add(9, "_Tick", "Periodic tick");
    QCOMPARE(table.idOf(word), id);
    QCOMPARE(table.helpOf(word), help);
}

void TestCmdTable::helpOfId()
{
    const CmdTable table = builtIns();
    QCOMPARE(table.helpOfId(CmdIsBusy), QString("Answer if Zendri is busy"));
    QCOMPARE(table.helpOfId(CmdNotFound), QString());
    QCOMPARE(table.helpOfId(-1), QString());
}

QTEST_APPLESS_MAIN(TestCmdTable)
#include "tst_cmdtable.moc"
