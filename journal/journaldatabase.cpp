#include "journal/journaldatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sys/stat.h>

namespace {

// A writer that finds the file locked by another program waits this long before it gives up
// for now; it runs on a thread of its own, so nobody else waits.
constexpr int BusyTimeoutMs = 200;
// SQLite's primary result codes for a damaged file and for one that is no database.
constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;
constexpr int PrimaryCodeMask = 0xff;
// How every SQLite database file begins.
const QByteArray FileHeader = QByteArrayLiteral("SQLite format 3\0");
const QString SetAsideTimeFormat = QStringLiteral("yyyyMMdd-hhmmss");
// The files SQLite keeps beside the database in write-ahead-log mode.
const QStringList Companions = { QStringLiteral("-wal"), QStringLiteral("-shm") };

// `history` shows `at` as ISO 8601 local time with milliseconds and the offset of that moment.
const QStringList Schema = {
    QStringLiteral("CREATE TABLE entries ("
                   "id INTEGER PRIMARY KEY, at_ms INTEGER NOT NULL, kind TEXT NOT NULL, "
                   "row TEXT NOT NULL DEFAULT '', sender TEXT NOT NULL DEFAULT '', "
                   "event TEXT NOT NULL DEFAULT '', text TEXT NOT NULL DEFAULT '', "
                   "state TEXT NOT NULL DEFAULT '', cause TEXT NOT NULL DEFAULT '', "
                   "operator TEXT NOT NULL DEFAULT '', desk TEXT NOT NULL DEFAULT '', "
                   "since_ms INTEGER NOT NULL DEFAULT 0, until_ms INTEGER NOT NULL DEFAULT 0)"),
    QStringLiteral("CREATE INDEX entries_at ON entries (at_ms)"),
    QStringLiteral("CREATE INDEX entries_alarm_row ON entries (row, at_ms) WHERE kind = 'alarm'"),
    QStringLiteral("CREATE TABLE alarms ("
                   "row TEXT PRIMARY KEY, state TEXT NOT NULL, not_heard INTEGER NOT NULL, "
                   "not_heard_reason TEXT NOT NULL, quiet_events INTEGER NOT NULL, count INTEGER NOT NULL, "
                   "first_ms INTEGER NOT NULL, last_ms INTEGER NOT NULL, "
                   "unacknowledged_since_ms INTEGER NOT NULL, sender TEXT NOT NULL, event TEXT NOT NULL, "
                   "text TEXT NOT NULL, shelved_since_ms INTEGER NOT NULL, shelf_end_ms INTEGER NOT NULL)"),
    QStringLiteral("CREATE VIEW history AS SELECT "
                   "strftime('%Y-%m-%dT%H:%M:%f', at_ms / 1000.0, 'unixepoch', 'localtime') "
                   "|| printf('%+03d:%02d', offset / 60, abs(offset) % 60) AS at, "
                   "kind, row, sender, event, text, state, operator, desk "
                   "FROM (SELECT *, CAST(round((julianday(at_ms / 1000.0, 'unixepoch', 'localtime') "
                   "- julianday(at_ms / 1000.0, 'unixepoch')) * 1440) AS INTEGER) AS offset FROM entries) "
                   "ORDER BY id"),
    QStringLiteral("PRAGMA user_version = %1").arg(JournalDatabase::SchemaVersion),
};

// Entries go in by statements of many rows, which costs a fraction of one statement per row.
constexpr int EntriesPerInsert = 64;

// INSERT INTO entries ... VALUES (...), (...) with `rows` rows of placeholders.
QString insertEntries(int rows)
{
    const QString values = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    QStringList all;
    for (int i = 0; i < rows; ++i)
        all << values;
    return QStringLiteral("INSERT INTO entries (at_ms, kind, row, sender, event, text, state, cause, operator, desk, "
                          "since_ms, until_ms) VALUES ") + all.join(QStringLiteral(", "));
}
const QString ReplaceAlarm = QStringLiteral(
    "INSERT OR REPLACE INTO alarms (row, state, not_heard, not_heard_reason, quiet_events, count, first_ms, "
    "last_ms, unacknowledged_since_ms, sender, event, text, shelved_since_ms, shelf_end_ms) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString SelectAlarms = QStringLiteral(
    "SELECT row, state, not_heard, not_heard_reason, quiet_events, count, first_ms, last_ms, "
    "unacknowledged_since_ms, sender, event, text, shelved_since_ms, shelf_end_ms FROM alarms");

QString reason(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

AlarmState stateFromWord(const QString &word)
{
    for (AlarmState state : { AlarmState::Ringing, AlarmState::Unacknowledged, AlarmState::Acknowledged, AlarmState::Shelved }) {
        if (alarmStateWord(state) == word)
            return state;
    }
    return AlarmState::Normal;
}

void bindAll(QSqlQuery &query, const QVariantList &values, int first = 0)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(first + i, values.at(i));
}

// Qt Sql binds a null string as NULL, which the columns refuse.
QVariant text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

QVariantList entryValues(const JournalEntry &e)
{
    return { e.atMs, JournalEntry::kindWord(e.kind), text(e.row), text(e.sender), text(e.event), text(e.text),
             text(e.state), text(e.cause), text(e.operatorName), text(e.desk), e.sinceMs, e.untilMs };
}

QVariantList alarmValues(const AlarmRow &a)
{
    return { text(a.name), alarmStateWord(a.state), int(a.notHeard), text(a.notHeardReason), a.quietEvents,
             a.count, a.firstMs, a.lastMs, a.unacknowledgedSinceMs, text(a.sender), text(a.event), text(a.text),
             a.shelvedSinceMs, a.shelfEndMs };
}

} // namespace

JournalDatabase::JournalDatabase(const QString &connectionName)
    : connectionName(connectionName)
{
}

JournalDatabase::~JournalDatabase()
{
    close();
}

bool JournalDatabase::open(const QString &fileName, QString &problem)
{
    close();
    file = fileName;
    asideAs.clear();
    asideWhy.clear();
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        problem = QStringLiteral("cannot make the folder %1").arg(QFileInfo(file).absolutePath());
        return false;
    }
    Check check = connect(problem);
    if (check == Check::Untrusted) {
        asideWhy = problem;
        close();
        if (!setAside()) {
            problem = QStringLiteral("it cannot be trusted (%1) and cannot be renamed").arg(asideWhy);
            return false;
        }
        check = connect(problem);
    }
    if (check != Check::Ok)
        close();
    return check == Check::Ok;
}

void JournalDatabase::closeConnection(QSqlDatabase &db, const QString &name)
{
    if (!db.isValid())
        return;
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

void JournalDatabase::close()
{
    closeConnection(db, connectionName);
}

bool JournalDatabase::isOpen() const
{
    return db.isOpen();
}

bool JournalDatabase::stillThere() const
{
    struct stat now {};
    if (::stat(QFile::encodeName(file).constData(), &now) != 0 || qint64(now.st_dev) != device || qint64(now.st_ino) != inode)
        return false;
    QFile header(file);
    return header.open(QIODevice::ReadOnly) && header.read(FileHeader.size()) == FileHeader;
}

bool JournalDatabase::damaged() const
{
    return lastDamaged;
}

QString JournalDatabase::setAsideAs() const
{
    return asideAs;
}

QString JournalDatabase::setAsideWhy() const
{
    return asideWhy;
}

JournalDatabase::Check JournalDatabase::connect(QString &problem)
{
    lastDamaged = false;
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) {
        problem = reason(db.lastError());
        return Check::Failed;
    }
    struct stat opened {};
    if (::stat(QFile::encodeName(file).constData(), &opened) == 0) {
        device = qint64(opened.st_dev);
        inode = qint64(opened.st_ino);
    }
    const Check check = checkAndPrepare(problem);
    return check == Check::Failed && lastDamaged ? Check::Untrusted : check;
}

// Reading the header shows a file that is no database; SQLite's quick check a damaged one.
// A database without our schema and without tables is new; one with tables of its own
// belongs to somebody else.
JournalDatabase::Check JournalDatabase::checkAndPrepare(QString &problem)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failed(query, problem);
    const int version = query.value(0).toInt();
    if (version > SchemaVersion) {
        problem = QStringLiteral("written with a newer schema, %1").arg(version);
        return Check::Untrusted;
    }
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next())
        return failed(query, problem);
    if (query.value(0).toString() != QLatin1String("ok")) {
        problem = QStringLiteral("it fails its check: %1").arg(query.value(0).toString());
        return Check::Untrusted;
    }
    if (version == 0) {
        if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
            return failed(query, problem);
        if (query.value(0).toInt() > 0) {
            problem = QStringLiteral("it is another program's database");
            return Check::Untrusted;
        }
        if (!createSchema(problem))
            return Check::Failed;
    }
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next())
        return failed(query, problem);
    if (query.value(0).toString() != QLatin1String("wal")) {
        problem = QStringLiteral("it cannot keep a write-ahead log");
        return Check::Failed;
    }
    // With the write-ahead log a commit survives the process being killed; only a power cut
    // may lose the last commits, never the file's consistency.
    return run(QStringLiteral("PRAGMA synchronous = NORMAL"), problem) ? Check::Ok : Check::Failed;
}

bool JournalDatabase::createSchema(QString &problem)
{
    if (!run(QStringLiteral("BEGIN IMMEDIATE"), problem))
        return false;
    for (const QString &statement : Schema) {
        if (!run(statement, problem)) {
            QString ignored;
            run(QStringLiteral("ROLLBACK"), ignored);
            return false;
        }
    }
    return run(QStringLiteral("COMMIT"), problem);
}

// NAME.broken-TIME, and NAME.broken-TIME-wal beside it, where SQLite looks for its log.
bool JournalDatabase::setAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(SetAsideTimeFormat);
    QString target = file + QStringLiteral(".broken-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = file + QStringLiteral(".broken-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(file, target))
        return false;
    for (const QString &companion : Companions) {
        if (QFileInfo::exists(file + companion))
            QFile::rename(file + companion, target + companion);
    }
    asideAs = target;
    return true;
}

bool JournalDatabase::run(const QString &statement, QString &problem)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    note(query, problem);
    return false;
}

JournalDatabase::Check JournalDatabase::failed(const QSqlQuery &query, QString &problem)
{
    note(query, problem);
    return Check::Failed;
}

// Why the query failed, and whether that means a damaged file.
void JournalDatabase::note(const QSqlQuery &query, QString &problem)
{
    const QSqlError error = query.lastError();
    const int code = error.nativeErrorCode().toInt() & PrimaryCodeMask;
    lastDamaged = code == SqliteCorrupt || code == SqliteNotADatabase;
    problem = reason(error);
}

bool JournalDatabase::write(const std::deque<JournalEntry> &entries, const QList<AlarmRow> &standing, QString &problem)
{
    lastDamaged = false;
    if (!run(QStringLiteral("BEGIN IMMEDIATE"), problem))
        return false;
    QSqlQuery insertMany(db);
    QSqlQuery insert(db);
    QSqlQuery replace(db);
    bool ok = insertMany.prepare(insertEntries(EntriesPerInsert)) && insert.prepare(insertEntries(1))
        && replace.prepare(ReplaceAlarm);
    auto it = entries.cbegin();
    for (; ok && entries.cend() - it >= EntriesPerInsert; it += EntriesPerInsert) {
        for (int i = 0; i < EntriesPerInsert; ++i) {
            const QVariantList values = entryValues(*(it + i));
            bindAll(insertMany, values, i * int(values.size()));
        }
        ok = insertMany.exec();
    }
    for (; ok && it != entries.cend(); ++it) {
        bindAll(insert, entryValues(*it));
        ok = insert.exec();
    }
    for (auto it = standing.cbegin(); ok && it != standing.cend(); ++it) {
        bindAll(replace, alarmValues(*it));
        ok = replace.exec();
    }
    if (!ok) {
        note(insertMany.lastError().isValid() ? insertMany : insert.lastError().isValid() ? insert : replace, problem);
        QString ignored;
        run(QStringLiteral("ROLLBACK"), ignored);
        return false;
    }
    if (run(QStringLiteral("COMMIT"), problem))
        return true;
    QString ignored;
    run(QStringLiteral("ROLLBACK"), ignored);
    return false;
}

QVector<AlarmRow> JournalDatabase::standing()
{
    QVector<AlarmRow> alarms;
    QSqlQuery query(db);
    if (!query.exec(SelectAlarms))
        return alarms;
    while (query.next()) {
        AlarmRow a;
        a.name = query.value(0).toString();
        a.state = stateFromWord(query.value(1).toString());
        a.notHeard = query.value(2).toBool();
        a.notHeardReason = query.value(3).toString();
        a.quietEvents = query.value(4).toInt();
        a.count = query.value(5).toInt();
        a.firstMs = query.value(6).toLongLong();
        a.lastMs = query.value(7).toLongLong();
        a.unacknowledgedSinceMs = query.value(8).toLongLong();
        a.sender = query.value(9).toString();
        a.event = query.value(10).toString();
        a.text = query.value(11).toString();
        a.shelvedSinceMs = query.value(12).toLongLong();
        a.shelfEndMs = query.value(13).toLongLong();
        alarms.append(a);
    }
    return alarms;
}

void JournalDatabase::forget(const QStringList &rowNames)
{
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("DELETE FROM alarms WHERE row = ?"));
    for (const QString &name : rowNames) {
        remove.bindValue(0, name);
        remove.exec();
    }
}

qint64 JournalDatabase::lastEntryMs()
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT max(at_ms) FROM entries")) && query.next() ? query.value(0).toLongLong() : 0;
}

int JournalDatabase::deleteOlder(qint64 cutoffMs, int limit)
{
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("DELETE FROM entries WHERE id IN "
                                  "(SELECT id FROM entries WHERE at_ms < ? ORDER BY at_ms LIMIT ?)"));
    remove.bindValue(0, cutoffMs);
    remove.bindValue(1, limit);
    return remove.exec() ? remove.numRowsAffected() : -1;
}
