#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>

#include "alarm/alarmrow.h"
#include "journal/journaldatabase.h"
#include "journal/journalentry.h"
#include "journal/journalopening.h"
#include "journal/journalsettings.h"

class QTimer;
struct JournalQueue;

// The journal's writer, on a thread of its own with its own connection, so that no write
// delays a sound or the window: 20 ms after an entry comes to an empty queue, when the sound it
// follows has started, it takes everything that waits and commits it in one transaction; what
// came during a commit goes next at once, so that a storm's entries go in large batches. When the file cannot be written it keeps the
// entries in memory (the newest 100,000), tries again every second, and says so once when
// writing fails and once when it works again. It also deletes entries older than the days kept,
// a slice at a time.
class JournalWriter : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(JournalWriter)

public:
    static constexpr int RetryMs = 1000;
    static constexpr int FlushMs = 20;
    static constexpr int MaxWaiting = 100000;
    static constexpr int PruneSlice = 2000;
    static constexpr int PruneEveryMs = 24 * 60 * 60 * 1000;

    JournalWriter(const JournalSettings &settings, JournalQueue *queue);

    // These run on the writer's thread.
    // Opens the file and reads the alarms that stood for `rowNames`, forgetting those of rows
    // no longer configured.
    JournalOpening open(const QStringList &rowNames);
    // Entries wait in the queue.
    void wake();
    // Writes what waits, a last time, and closes the file.
    void finish();

signals:
    void log(const QString &msg, const QColor &c);

private:
    void takeQueue();
    bool queueWaits();
    void flush();
    void retry();
    void tryWrite();
    bool writeWaiting(QString &problem);
    bool reopen(QString &problem);
    void failing(const QString &problem);
    void working();
    void prune();
    QString name() const;

    const JournalSettings settings;
    JournalQueue *queue;
    JournalDatabase database;
    std::deque<JournalEntry> waiting;
    QHash<QString, AlarmRow> standingWaiting;
    // Every row's latest alarm, for a file started anew while Velmar runs.
    QHash<QString, AlarmRow> standingSeen;
    qint64 dropped = 0;
    qint64 waitedWhileFailing = 0;
    bool isFailing = false;
    QTimer *flushTimer;
    QTimer *retryTimer;
    QTimer *pruneTimer;
};
