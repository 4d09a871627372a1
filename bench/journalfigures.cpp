#include "journalfigures.h"

#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

#include "clientsession.h"
#include "floodserver.h"
#include "journal/historywindow.h"
#include "journal/journaldatabase.h"

namespace {

constexpr int Batch = 10000;
constexpr int Rows = 20;
constexpr int EventsPerAlarm = 9;
constexpr qint64 MsPerDay = 24 * 3600 * 1000LL;
constexpr int GiveUpMs = 60000;
// The kill comes this long after the storm began, at random: the storm lasts about half a second.
constexpr int LatestKillMs = 500;
// What the journal may not have yet: entries younger than its commit interval.
constexpr qint64 GraceMs = 100;
const QString Reader = QStringLiteral("bench-reader");

JournalEntry largeEntry(int i, qint64 atMs)
{
    JournalEntry e;
    e.atMs = atMs;
    e.row = QStringLiteral("Fault%1").arg(i % Rows);
    e.sender = QStringLiteral("Dev");
    e.event = e.row;
    if (i % (EventsPerAlarm + 1) == 0) {
        e.kind = JournalEntry::Kind::Alarm;
        e.text = QStringLiteral("event");
        e.state = QStringLiteral("ringing");
        e.cause = QStringLiteral("event");
    } else {
        e.text = QStringLiteral("pressure %1 bar").arg(i % 97);
    }
    return e;
}

// The events that velmar.alarms traced before `ms`: one "(event)" line per event of the storm,
// each stamped with its local time.
int tracedBefore(const QString &debugFile, qint64 ms)
{
    QFile file(debugFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    int count = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        if (!line.contains(QLatin1String("(event)")))
            continue;
        const QDateTime at = QDateTime::fromString(line.left(23), QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
        if (at.isValid() && at.toMSecsSinceEpoch() < ms)
            ++count;
    }
    return count;
}

} // namespace

QVariant journalValue(const QString &file, const QString &statement, const QVariantList &values)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Reader);
        db.setDatabaseName(file);
        db.open();
        QSqlQuery query(db);
        query.prepare(statement);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (query.exec() && query.next())
            value = query.value(0);
    }
    QSqlDatabase::removeDatabase(Reader);
    return value;
}

bool writeLargeJournal(const QString &file, int entries, int days)
{
    JournalDatabase db(QStringLiteral("bench-writer"));
    QString problem;
    if (!db.open(file, problem))
        return false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 span = days * MsPerDay;
    for (int first = 0; first < entries; first += Batch) {
        std::deque<JournalEntry> batch;
        for (int i = first; i < qMin(entries, first + Batch); ++i)
            batch.push_back(largeEntry(i, now - span + span * i / entries));
        if (!db.write(batch, {}, problem))
            return false;
    }
    return true;
}

int journalEvents(const QString &file)
{
    const QVariant count = journalValue(file, QStringLiteral("SELECT count(*) FROM entries WHERE kind = 'event'"));
    return count.isValid() ? count.toInt() : -1;
}

double historyOpenMs(const QString &file, int range, const QString &filter)
{
    HistoryWindow window(file);
    window.findChild<QComboBox *>(QStringLiteral("RangeC"))->setCurrentIndex(range);
    window.findChild<QLineEdit *>(QStringLiteral("FilterE"))->setText(filter);
    QAbstractItemModel *model = window.findChild<QTableView *>(QStringLiteral("HistoryV"))->model();
    QElapsedTimer clock;
    clock.start();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return -1;
    QCoreApplication::processEvents();
    const double ms = clock.nsecsElapsed() / 1e6;
    return model->rowCount() > 0 || !filter.isEmpty() ? ms : -1;
}

CrashRun crashRun(const QString &velmarPath, const QString &journal, int events, QString &error)
{
    CrashRun run;
    QTemporaryDir dir;
    FloodServer server(ClientSession::ClientNode);
    const quint16 port = server.startListening();
    const QString configPath = ClientSession::writeConfig(
        dir.path(), port,
        "EVENT Tick \"" VELMAR_SOURCE_DIR "/examples/alarm.wav\" 80 Dev\nJOURNAL \"" + journal.toUtf8() + "\"\n");
    QEventLoop loop;
    bool subscribed = false;
    QObject::connect(&server, &FloodServer::subscribed, &loop, [&] { subscribed = true; loop.quit(); });
    QTimer::singleShot(GiveUpMs, &loop, &QEventLoop::quit);

    QProcess velmar;
    velmar.setWorkingDirectory(dir.path());
    velmar.setStandardErrorFile(dir.filePath(QStringLiteral("debug.log")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false\nvelmar.alarms.debug=true"));
    environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time yyyy-MM-ddThh:mm:ss.zzz} %{message}"));
    velmar.setProcessEnvironment(environment);
    const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
    velmar.start(velmarPath, {QStringLiteral("-c"), configPath});
    loop.exec();
    if (!subscribed) {
        error = QStringLiteral("velmar did not subscribe");
        return run;
    }
    server.startBurst(events, 1);
    QTest::qWait(int(QRandomGenerator::global()->bounded(LatestKillMs)));
    const qint64 killMs = QDateTime::currentMSecsSinceEpoch();
    ::kill(pid_t(velmar.processId()), SIGKILL);
    velmar.waitForFinished(GiveUpMs);

    run.intact = journalValue(journal, QStringLiteral("PRAGMA integrity_check")).toString() == QLatin1String("ok");
    run.shownBefore = tracedBefore(dir.filePath(QStringLiteral("debug.log")), killMs - GraceMs);
    const QVariant kept = journalValue(journal, QStringLiteral("SELECT count(DISTINCT text) FROM entries WHERE kind = 'event' "
                                                             "AND at_ms >= ? AND CAST(text AS INTEGER) < ?"),
                                     {startMs, run.shownBefore});
    run.missing = kept.isValid() ? run.shownBefore - kept.toInt() : -1;
    return run;
}
