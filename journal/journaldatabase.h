#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <deque>

class QSqlQuery;

#include "alarm/alarmrow.h"
#include "journal/journalentry.h"

// One connection to the journal's SQLite file, used on one thread: opens and checks the file
// (setting aside one that cannot be trusted), keeps its schema, writes batches of entries
// together with the rows' standing alarms in one transaction, and reads those alarms back.
class JournalDatabase
{
    Q_DISABLE_COPY(JournalDatabase)

public:
    // The schema this code writes, kept in the file as PRAGMA user_version.
    static constexpr int SchemaVersion = 1;

    // `connectionName` names the connection among the thread's Qt Sql connections.
    explicit JournalDatabase(const QString &connectionName);
    ~JournalDatabase();

    // Opens `file` for writing, creating it and its folder when missing. A file that is not a
    // database, fails SQLite's check or was written by a newer schema is renamed
    // NAME.broken-TIME, with its write-ahead log, and a new one is started: setAsideAs() and
    // setAsideWhy() then say so. False, with `problem`, when the file cannot be used.
    bool open(const QString &file, QString &problem);
    // Closes `db` if it is valid and removes its connection `name`, which Qt allows only once no
    // handle to it is left.
    static void closeConnection(QSqlDatabase &db, const QString &name);
    void close();
    bool isOpen() const;
    // False when the file under the name is no longer the one opened, deleted or replaced, or
    // no longer begins as a database does: overwritten by another program.
    bool stillThere() const;
    // The last failure showed a damaged file, or one that is no database any more.
    bool damaged() const;
    QString setAsideAs() const;
    QString setAsideWhy() const;

    // Writes the entries and the rows' standing alarms in one transaction; on failure nothing
    // is written and `problem` says why.
    bool write(const std::deque<JournalEntry> &entries, const QList<AlarmRow> &standing, QString &problem);
    // Every row's standing alarm as last written.
    QVector<AlarmRow> standing();
    void forget(const QStringList &rowNames);
    // The time of the newest entry; 0 for none.
    qint64 lastEntryMs();
    // Deletes at most `limit` of the entries older than `cutoffMs`; how many it deleted, or -1.
    int deleteOlder(qint64 cutoffMs, int limit);

private:
    enum class Check { Ok, Untrusted, Failed };

    Check connect(QString &problem);
    Check checkAndPrepare(QString &problem);
    bool createSchema(QString &problem);
    bool setAside();
    // Runs one statement; on failure notes whether the file is damaged and gives the reason.
    bool run(const QString &statement, QString &problem);
    Check failed(const QSqlQuery &query, QString &problem);
    void note(const QSqlQuery &query, QString &problem);

    const QString connectionName;
    QString file;
    QSqlDatabase db;
    bool lastDamaged = false;
    QString asideAs;
    QString asideWhy;
    qint64 device = -1;
    qint64 inode = -1;
};
