#include <QtTest>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <sys/resource.h>

#include <csignal>
#include <memory>

#include "alarm/alarmmodel.h"
#include "journal/csvrecord.h"
#include "journal/historyfilter.h"
#include "journal/historywindow.h"
#include "journal/journal.h"
#include "journal/journaldatabase.h"
#include "support.h"

namespace {

// The time of the last entry that the restore tests leave: its line says "from before 03:04:05".
const qint64 LastEntryMs = QDateTime(QDate::currentDate(), QTime(3, 4, 5)).toMSecsSinceEpoch();
constexpr qint64 MsPerMinute = 60000;

// An alarm model on rows A and B (or `rows`) with a journal on `file`, driven by steps: e0 an
// event from Dev, Alarm, text "t", that matched row 0 (e01: rows 0 and 1; E0 the same with a
// text of 1 KiB), taken 5 ms after it was received; p0 row 0 played to its end; n0 not heard
// ("no output"); k0 its Ack; P0 a peer's Ack (bob@b at Zendri2); K Ack all; s Silence; M Mute;
// S Snooze 1 min; f0 shelve row 0 for 15 min; u0 unshelve it; U the link up at h:1, L down; O
// the sound output lost ("gone"), B back ("Out"). `seen` traces the model as tst_alarms does (a
// ring with its sender and event) and holds the journal's lines.
struct JournalRun
{
    AlarmModel model;
    Journal journal;
    QStringList seen;

    JournalRun(const QString &file, const AlarmSettings &settings = {}, const QStringList &rows = {"A", "B"})
        : model(rows, settings)
        , journal(JournalSettings {QDir::current().absoluteFilePath(file), JournalSettings::DefaultKeepDays}, &model, nullptr)
    {
        QObject::connect(&model, &AlarmModel::rowChanged, &model, [this](const AlarmTransition &t) {
            seen << QStringLiteral("%1%2%3(%4)").arg(t.row).arg(alarmStateWord(t.after.state).at(0).toUpper())
                        .arg(t.after.notHeard ? "!" : "", t.causeText());
        });
        QObject::connect(&model, &AlarmModel::startRow, &model, [this](const Ring &ring) { seen << QStringLiteral("+%1").arg(ring.row); });
        QObject::connect(&model, &AlarmModel::rang, &model, [this](const Ring &ring) { seen << QStringLiteral("*%1:%2 %3").arg(ring.row).arg(ring.sender, ring.event); });
        QObject::connect(&model, &AlarmModel::log, &model, [this](const QString &line) { seen << '[' + line + ']'; });
        QObject::connect(&journal, &Journal::log, &model, [this](const QString &line) { seen << '[' + line + ']'; });
        journal.start();
    }

    void run(const QString &steps)
    {
        for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
            const int row = step.mid(1, 1).toInt();
            switch (step.at(0).toLatin1()) {
            case 'e':
            case 'E': {
                AlarmEvent event {"Dev", "Alarm", step.at(0) == 'e' ? "t" : QString(1024, 'x'), QDateTime::currentMSecsSinceEpoch(), {}};
                for (const QChar r : step.mid(1))
                    event.rows << r.digitValue();
                QThread::msleep(5);
                model.takeEvent(event);
                break;
            }
            case 'p': model.played(row); break;
            case 'n': model.notHeard(row, "no output"); break;
            case 'k': model.acknowledge(row, Acknowledgement::here()); break;
            case 'P': model.acknowledge(row, {AlarmCause::Peer, "bob@b", "Zendri2"}); break;
            case 'K': model.acknowledgeAll(Acknowledgement::here(AlarmCause::AcknowledgeAll)); break;
            case 's': model.silence(); break;
            case 'M': model.toggleMute(); break;
            case 'S': model.toggleSnooze(MsPerMinute); break;
            case 'f': model.shelve(row, 15 * MsPerMinute); break;
            case 'u': model.unshelve(row); break;
            case 'U': journal.linkUp("h:1"); break;
            case 'L': journal.linkDown("h:1"); break;
            case 'O': journal.soundFound(true, "gone"); break;
            case 'B': journal.soundFound(false, "Out"); break;
            }
        }
    }
};

// The journal's history without its times: each entry's fields that are not empty, joined by
// blanks; this desk's operator reads "me".
QStringList history(const QString &file, const QString &where = "1")
{
    QStringList lines;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && query.exec("SELECT * FROM history WHERE " + where)) {
            while (query.next()) {
                QStringList fields;
                for (int i = 1; i < 9; ++i)
                    fields << query.value(i).toString();
                fields.removeAll(QString());
                lines << fields.join(' ').replace(localOperator(), "me");
                if (!QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)").match(query.value(0).toString()).hasMatch())
                    lines << "bad time " + query.value(0).toString();
            }
        }
    }
    QSqlDatabase::removeDatabase("reader");
    return lines;
}

// "A:U" the row A's alarm unacknowledged (U! not heard), A acknowledged, S+ shelved for an
// hour more, S- shelved until a minute ago, N normal; each with 3 events, the last a minute ago.
// An underscore stands for a blank: "A_#2" is the second row named A.
QList<AlarmRow> standing(const QString &items)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<AlarmRow> alarms;
    for (const QString &item : items.split(' ', Qt::SkipEmptyParts)) {
        const QStringList part = item.split(':');
        AlarmRow a;
        a.name = QString(part.at(0)).replace('_', ' ');
        a.state = QMap<QChar, AlarmState> {{'U', AlarmState::Unacknowledged}, {'A', AlarmState::Acknowledged},
                                           {'S', AlarmState::Shelved}, {'N', AlarmState::Normal}}.value(part.at(1).at(0));
        a.notHeard = part.at(1).endsWith('!');
        a.notHeardReason = a.notHeard ? "gone" : "";
        a.count = 3;
        a.firstMs = now - 2 * MsPerMinute;
        a.lastMs = a.unacknowledgedSinceMs = now - MsPerMinute;
        a.sender = "Dev";
        a.event = "Alarm";
        a.shelvedSinceMs = a.state == AlarmState::Shelved ? now - 2 * MsPerMinute : 0;
        a.shelfEndMs = part.at(1) == "S+" ? now + 60 * MsPerMinute : part.at(1) == "S-" ? now - MsPerMinute : 0;
        alarms << a;
    }
    return alarms;
}

bool writeBefore(const QString &file, const QList<AlarmRow> &alarms, qint64 entryMs = LastEntryMs)
{
    JournalDatabase db("before");
    QString problem;
    JournalEntry entry;
    entry.atMs = entryMs;
    return db.open(QDir::current().absoluteFilePath(file), problem) && db.write({entry}, alarms, problem);
}

} // namespace

// The journal as scripts of the alarm model's inputs against a file of the test's own: what it
// writes, what it restores, and the faults of the file it survives; the CSV form of its lines.
class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void script_data();
    void script();
    void restore_data();
    void restore();
    void faults_data();
    void faults();
    void keepsDays();
    void csv_data();
    void csv();
    void historyWindow();

private:
    QTemporaryDir dir;
};

void TestJournal::initTestCase()
{
    QVERIFY(QDir::setCurrent(dir.path()));
}

void TestJournal::cleanup()
{
    for (const QString &name : QDir().entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        QFileInfo(name).isDir() ? QDir(name).removeRecursively() : QFile::remove(name);
}

void TestJournal::script_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QString>("steps");
    // The history after start and before stop.
    QTest::addColumn<QString>("history");

    QTest::newRow("an event and its ack; an event that only counts writes no alarm entry") << false << "e0 e0 k0"
        << "alarm A Dev Alarm event ringing; event A Dev Alarm t; event A Dev Alarm t; alarm A Dev Alarm ack by me acknowledged me";
    QTest::newRow("two rows, a peer's ack") << false << "e01 P1"
        << "alarm A Dev Alarm event ringing; alarm B Dev Alarm event ringing; event A, B Dev Alarm t; alarm B Dev Alarm peer by bob@b at Zendri2 acknowledged bob@b Zendri2";
    QTest::newRow("mute, an event while muted, snooze, its second click, silence") << false << "e0 M e1 M S S e0 s"
        << "alarm A Dev Alarm event ringing; event A Dev Alarm t; operator mute me; alarm A Dev Alarm mute unacknowledged me; alarm B Dev Alarm event unacknowledged; event B Dev Alarm t; operator unmute me; operator snooze 1 min me; operator snooze end; alarm A Dev Alarm event ringing; event A Dev Alarm t; alarm A Dev Alarm silence unacknowledged me; operator silence me";
    QTest::newRow("shelve, unshelve, not heard, ack all") << false << "e0 f0 u0 e1 n1 K"
        << "alarm A Dev Alarm event ringing; event A Dev Alarm t; alarm A Dev Alarm shelve by me acknowledged me; alarm A Dev Alarm shelve shelved me; alarm A Dev Alarm unshelve acknowledged me; alarm B Dev Alarm event ringing; event B Dev Alarm t; alarm B Dev Alarm not heard: no output unacknowledged, not heard; alarm B Dev Alarm ack all by me acknowledged me";
    QTest::newRow("repeat until ack: a repeat writes nothing; silence acknowledges") << true << "e0 p0 p0 s"
        << "alarm A Dev Alarm event ringing; event A Dev Alarm t; alarm A Dev Alarm silence by me acknowledged me; operator silence me";
    QTest::newRow("link and sound: a link never up is not lost; one line a change") << false << "L U L L U O O B"
        << "link h:1 logged in; link h:1 down; link h:1 logged in; sound gone lost; sound Out back";
}

// Each transition that changes a state, or has a cause other than an event or a repeat, is an
// alarm entry with its operator; each matching event an event entry; the horn's quiet spells,
// Silence, the link and the sound output entries of their own; start and stop.
void TestJournal::script()
{
    QFETCH(bool, repeat);
    QFETCH(QString, steps);
    QFETCH(QString, history);
    AlarmSettings settings;
    settings.repeatUntilAck = repeat;
    {
        JournalRun run("j.db", settings);
        run.run(steps);
    }
    QCOMPARE(::history("j.db").join("; "), "start me; " + history + "; stop me");
}

void TestJournal::restore_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QString>("steps");
    // The model's transitions, plays and lines, then each row's count: rows A, B and A again.
    QTest::addColumn<QString>("trace");

    const QString before = " from before 03:04:05]";
    QTest::newRow("unacknowledged: rings once more, its count back") << "A:U" << false << ""
        << "0U(restore) 0R(restore) +0 *0:Dev Alarm [Restored 1 unacknowledged alarm" + before + " = 3 0 0";
    QTest::newRow("with the repeat until ack it repeats") << "A:U B:U" << true << "p0"
        << "0U(restore) 0R(restore) +0 *0:Dev Alarm 1U(restore) 1R(restore) +1 *1:Dev Alarm [Restored 2 unacknowledged alarms" + before
               + " 0R(repeat) +0 = 3 3 0";
    QTest::newRow("not heard") << "A:U!" << false << ""
        << "0U!(restore) 0R!(restore) +0 *0:Dev Alarm [Restored 1 unacknowledged alarm" + before + " = 3 0 0";
    QTest::newRow("acknowledged: never rung") << "A:A" << false << "" << "0A(restore) [Restored 1 acknowledged alarm" + before + " = 3 0 0";
    QTest::newRow("a shelf keeps its end") << "A:S+ B:N" << false << "" << "0S(restore) [Restored 1 shelf" + before + " = 3 0 0";
    QTest::newRow("a shelf that ended meanwhile ends with its line") << "A:S-" << false << ""
        << "0S(restore) [Restored 1 shelf" + before + " [[A] shelf ended] 0A(shelf end) = 3 0 0";
    QTest::newRow("a row that is gone is named, not restored") << "Gone:U B:A" << false << ""
        << "1A(restore) [Restored 1 acknowledged alarm from before 03:04:05; not restored, as no row has their events now: [Gone]] = 0 3 0";
    QTest::newRow("two rows of one name keep their own alarms") << "A:A A_#2:U" << false << ""
        << "0A(restore) 2U(restore) 2R(restore) +2 *2:Dev Alarm [Restored 1 unacknowledged alarm and 1 acknowledged alarm" + before + " = 3 0 3";
    QTest::newRow("nothing stood: no line, counts from 0") << "A:N" << false << "e0" << "0R(event) +0 *0:Dev Alarm = 1 0 0";
}

// The alarms that stood when Velmar last stopped, as a crash leaves them in the file, come back
// with their counts; the line says what came back.
void TestJournal::restore()
{
    QFETCH(QString, saved);
    QFETCH(bool, repeat);
    QFETCH(QString, steps);
    QFETCH(QString, trace);
    QVERIFY(writeBefore("j.db", standing(saved)));
    AlarmSettings settings;
    settings.repeatUntilAck = repeat;
    JournalRun run("j.db", settings, {"A", "B", "A"});
    run.run(steps);
    const auto counts = [&run] {
        return QStringLiteral(" = %1 %2 %3").arg(run.model.row(0).count).arg(run.model.row(1).count).arg(run.model.row(2).count);
    };
    QTRY_COMPARE(run.seen.join(' ') + counts(), trace);
}

void TestJournal::faults_data()
{
    QTest::addColumn<QString>("fault");
    // The journal's lines, its file named F and counts N.
    QTest::addColumn<QString>("lines");

    const QString failed = "[Journal F cannot be written: ";
    const QString back = "; its entries wait in memory] [Journal F is written again, with the N entries that waited]";
    QTest::newRow("a folder that cannot be made, until it can") << "folder"
        << failed + "cannot make the folder " + QDir::current().absoluteFilePath("blocked") + back;
    QTest::newRow("not a database: set aside") << "corrupt"
        << "[Journal F could not be trusted (file is not a database): kept as F.broken-T; a new journal starts]";
    QTest::newRow("written with a newer schema: set aside") << "newer"
        << "[Journal F could not be trusted (written with a newer schema, N): kept as F.broken-T; a new journal starts]";
    QTest::newRow("locked by another program") << "locked" << failed + "database is locked" + back;
    QTest::newRow("deleted while it runs") << "deleted" << failed + "it was deleted, replaced or overwritten" + back;
    QTest::newRow("replaced by another file while it runs") << "replaced"
        << failed + "it was deleted, replaced or overwritten; its entries wait in memory] [Journal F could not be trusted (file is not a "
                    "database): kept as F.broken-T; a new journal starts] [Journal F is written again, with the N entries that waited]";
    QTest::newRow("overwritten in place while it runs") << "overwritten"
        << failed + "it was deleted, replaced or overwritten; its entries wait in memory] [Journal F could not be trusted (file is not a "
                    "database): kept as F.broken-T; a new journal starts] [Journal F is written again, with the N entries that waited]";
    QTest::newRow("a file size limit, as a full disk") << "size" << failed + "disk I/O error" + back;
}

// One red line when writing fails and one when it works again, nothing lost meanwhile: every
// event after the fault is in the file at the end. An untrustworthy file is kept under another
// name, as it was.
void TestJournal::faults()
{
    QFETCH(QString, fault);
    QFETCH(QString, lines);
    const QByteArray garbage = QByteArray("no database\n").repeated(400);
    QString file = "j.db";
    if (fault == "folder") {
        QVERIFY(writeFile("blocked", "a file\n"));
        file = "blocked/j.db";
    }
    if (fault == "corrupt")
        QVERIFY(writeFile(file, garbage));
    if (fault == "newer") {
        QVERIFY(writeBefore(file, {}));
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "newer");
        db.setDatabaseName(file);
        QVERIFY(db.open() && QSqlQuery(db).exec("PRAGMA user_version = 2"));
    }
    QSqlDatabase::removeDatabase("newer");
    rlimit unlimited {};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    int events = fault == "size" ? 400 : 3;
    {
        JournalRun run(file);
        run.run("e0");
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(file);
        if (fault != "folder" && fault != "corrupt" && fault != "newer")
            QTRY_COMPARE(history(file, "kind = 'event'").size(), 1);
        if (fault == "locked")
            QVERIFY(other.open() && QSqlQuery(other).exec("BEGIN EXCLUSIVE") && QSqlQuery(other).exec("DELETE FROM alarms"));
        if (fault == "deleted" || fault == "replaced")
            QVERIFY(QFile::remove(file) && QFile::remove(file + "-wal") && QFile::remove(file + "-shm"));
        if (fault == "replaced")
            QVERIFY(writeFile("new", garbage) && QFile::rename("new", file));
        QFile overwritten(file);
        if (fault == "overwritten")
            QVERIFY(overwritten.open(QIODevice::ReadWrite) && overwritten.write(garbage) == garbage.size() && overwritten.flush());
        if (fault == "size") {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit small {256 * 1024, unlimited.rlim_max};
            QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        }
        for (int i = 0; i < events; ++i)
            run.run(fault == "size" ? "E1" : "e1");
        QTRY_VERIFY(run.seen.join(' ').contains("[Journal"));
        QFile::remove("blocked");
        if (fault == "locked")
            QVERIFY(QSqlQuery(other).exec("ROLLBACK"));
        other.close();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, SIG_DFL);
        const QString absolute = QDir::current().absoluteFilePath(file);
        QTRY_COMPARE(run.seen.filter("[Journal").join(' ').replace(absolute, "F").replace(QRegularExpression("broken-\\d{8}-\\d{6}"), "broken-T")
                         .replace(QRegularExpression("\\d+"), "N"), lines);
    }
    QSqlDatabase::removeDatabase("other");
    QCOMPARE(history(file, "kind = 'event' AND row = 'B'").size(), events);
    const QStringList broken = QDir().entryList({"j.db.broken-*"});
    QCOMPARE(broken.size(), int(lines.contains("broken")));
    if (fault == "corrupt" || fault == "replaced") {
        QFile aside(broken.value(0));
        QVERIFY(aside.open(QIODevice::ReadOnly) && aside.readAll() == garbage);
    }
}

// Entries older than the days kept are deleted at start; newer ones stay.
void TestJournal::keepsDays()
{
    const qint64 day = 24 * 60 * MsPerMinute;
    QVERIFY(writeBefore("j.db", {}, QDateTime::currentMSecsSinceEpoch() - 2 * day));
    QVERIFY(writeBefore("j.db", {}, QDateTime::currentMSecsSinceEpoch() - day / 2));
    AlarmModel model({"A"}, {});
    Journal journal({QDir::current().absoluteFilePath("j.db"), 1}, &model, nullptr);
    journal.start();
    QTRY_COMPARE(history("j.db").join(", "), QString("event, start me"));
}

void TestJournal::csv_data()
{
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("plain, empty, UTF-8") << QStringList {"Dev", "", "Grüße"} << QByteArray("Dev,,Gr\xc3\xbc\xc3\x9f" "e\r\n");
    QTest::newRow("formulas get an apostrophe") << QStringList {"=1+2", "+cmd|' /C calc'!A0", "-3", "@SUM(A1)", "a=b"}
        << QByteArray("'=1+2,'+cmd|' /C calc'!A0,'-3,'@SUM(A1),a=b\r\n");
    QTest::newRow("tab and carriage return first; quotes, commas, line breaks quoted")
        << QStringList {"\t=x", "\r=x", "say \"hi\"", "a,b", "two\nlines"}
        << QByteArray("'\t=x,\"'\r=x\",\"say \"\"hi\"\"\",\"a,b\",\"two\nlines\"\r\n");
}

// Texts from the network reach a spreadsheet as text, never as a formula or as extra cells.
void TestJournal::csv()
{
    QFETCH(QStringList, cells);
    QFETCH(QByteArray, line);
    QCOMPARE(csvRecord(cells), line);
}

// The history window on a journal: the last day's entries newest first, narrowed by a text and
// by kind; its CSV holds what the table shows; the shift report names the peer's acknowledgement,
// also as a PDF, and says when it cannot be written.
void TestJournal::historyWindow()
{
    {
        JournalRun run("h.db");
        run.run("e01 P1 L U L");
    }
    HistoryWindow window(QDir::current().absoluteFilePath("h.db"));
    window.show();
    const QAbstractItemModel *shown = window.findChild<QTableView *>("HistoryV")->model();
    const auto kinds = [shown] {
        QStringList cells;
        for (int row = 0; row < shown->rowCount(); ++row)
            cells << shown->index(row, HistoryFilter::Kind).data().toString();
        return cells.join(' ');
    };
    QCOMPARE(kinds(), "stop link link alarm event alarm alarm start");
    auto *filter = window.findChild<QLineEdit *>("FilterE");
    // Without its clear button, whose fade-in animation would outlive the window.
    filter->setClearButtonEnabled(false);
    filter->setText("b");
    QCOMPARE(kinds(), "alarm event alarm");
    window.findChild<QCheckBox *>("EventsX")->setChecked(false);
    QCOMPARE(kinds(), "alarm alarm");
    QCOMPARE(window.writeCsv("h.csv"), 2);
    QString problem;
    QVERIFY2(window.writeShiftReport("h.html", problem), qPrintable(problem));
    QFile report("h.html");
    QVERIFY(report.open(QIODevice::ReadOnly) && report.readAll().contains("bob@b"));
    QVERIFY2(window.writeShiftReport("h.pdf", problem), qPrintable(problem));
    QVERIFY(!window.writeShiftReport("none/h.pdf", problem));
    QCOMPARE(problem, "cannot write none/h.pdf");
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
