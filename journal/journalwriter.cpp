#include "journal/journalwriter.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QTimer>

#include <iterator>

#include "journal/journalqueue.h"
#include "log/logcolours.h"

namespace {

constexpr qint64 MsPerDay = 24 * 60 * 60 * 1000LL;

} // namespace

JournalWriter::JournalWriter(const JournalSettings &settings, JournalQueue *queue)
    : settings(settings)
    , queue(queue)
    , database(QStringLiteral("velmar-journal-writer-%1").arg(quintptr(this)))
    , flushTimer(new QTimer(this))
    , retryTimer(new QTimer(this))
    , pruneTimer(new QTimer(this))
{
    flushTimer->setSingleShot(true);
    connect(flushTimer, &QTimer::timeout, this, &JournalWriter::flush);
    retryTimer->setInterval(RetryMs);
    connect(retryTimer, &QTimer::timeout, this, &JournalWriter::retry);
    pruneTimer->setInterval(PruneEveryMs);
    connect(pruneTimer, &QTimer::timeout, this, &JournalWriter::prune);
}

JournalOpening JournalWriter::open(const QStringList &rowNames)
{
    JournalOpening opening;
    QString problem;
    if (!reopen(problem)) {
        failing(problem);
        return opening;
    }
    QStringList unknown;
    const QVector<AlarmRow> standing = database.standing();
    for (const AlarmRow &alarm : standing) {
        if (rowNames.contains(alarm.name)) {
            opening.standing.append(alarm);
            continue;
        }
        unknown.append(alarm.name);
        if (alarm.state != AlarmState::Normal)
            opening.gone.append(alarm.name);
    }
    database.forget(unknown);
    opening.lastMs = database.lastEntryMs();
    pruneTimer->start();
    QTimer::singleShot(0, this, &JournalWriter::prune);
    return opening;
}

void JournalWriter::wake()
{
    if (!flushTimer->isActive())
        flushTimer->start(FlushMs);
}

void JournalWriter::finish()
{
    takeQueue();
    QString problem;
    if (!waiting.empty() || !standingWaiting.isEmpty())
        writeWaiting(problem);
    database.close();
    flushTimer->stop();
    retryTimer->stop();
    pruneTimer->stop();
}

// The newest entries are kept when too many wait: they tell what stands now.
void JournalWriter::takeQueue()
{
    std::deque<JournalEntry> entries;
    QHash<QString, AlarmRow> standing;
    {
        QMutexLocker locker(&queue->mutex);
        entries.swap(queue->entries);
        standing.swap(queue->standing);
    }
    if (waiting.empty())
        waiting.swap(entries);
    else
        waiting.insert(waiting.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    if (waiting.size() > size_t(MaxWaiting)) {
        const size_t excess = waiting.size() - MaxWaiting;
        waiting.erase(waiting.begin(), waiting.begin() + excess);
        dropped += qint64(excess);
    }
    for (auto it = standing.cbegin(); it != standing.cend(); ++it) {
        standingWaiting.insert(it.key(), it.value());
        standingSeen.insert(it.key(), it.value());
    }
}

bool JournalWriter::queueWaits()
{
    QMutexLocker locker(&queue->mutex);
    return !queue->entries.empty() || !queue->standing.isEmpty();
}

// While writing fails, only the retry timer tries again; the entries wait meanwhile.
void JournalWriter::flush()
{
    takeQueue();
    if (isFailing)
        return;
    tryWrite();
    if (!isFailing && queueWaits())
        flushTimer->start(0);
}

void JournalWriter::retry()
{
    takeQueue();
    tryWrite();
}

void JournalWriter::tryWrite()
{
    if (waiting.empty() && standingWaiting.isEmpty())
        return;
    QString problem;
    if (writeWaiting(problem))
        working();
    else
        failing(problem);
}

bool JournalWriter::writeWaiting(QString &problem)
{
    if (database.isOpen() && !database.stillThere()) {
        database.close();
        failing(QStringLiteral("it was deleted, replaced or overwritten"));
        standingWaiting = standingSeen;
    }
    if (!database.isOpen() && !reopen(problem))
        return false;
    if (!database.write(waiting, standingWaiting.values(), problem)) {
        // A file that turned out damaged is checked, and set aside, when it is opened again.
        if (database.damaged())
            database.close();
        return false;
    }
    if (isFailing)
        waitedWhileFailing = qint64(waiting.size());
    waiting.clear();
    standingWaiting.clear();
    return true;
}

bool JournalWriter::reopen(QString &problem)
{
    if (!database.open(settings.file, problem))
        return false;
    if (!database.setAsideAs().isEmpty()) {
        emit log(QStringLiteral("Journal %1 could not be trusted (%2): kept as %3; a new journal starts")
                     .arg(name(), database.setAsideWhy(), database.setAsideAs()),
                 LogColours::Failure);
        standingWaiting = standingSeen;
    }
    return true;
}

void JournalWriter::failing(const QString &problem)
{
    if (isFailing)
        return;
    isFailing = true;
    retryTimer->start();
    emit log(QStringLiteral("Journal %1 cannot be written: %2; its entries wait in memory").arg(name(), problem),
             LogColours::Failure);
}

void JournalWriter::working()
{
    if (!isFailing)
        return;
    isFailing = false;
    retryTimer->stop();
    emit log(QStringLiteral("Journal %1 is written again, with the %2 that waited")
                 .arg(name(), waitedWhileFailing == 1 ? QStringLiteral("entry") : QStringLiteral("%1 entries").arg(waitedWhileFailing)),
             LogColours::Recovery);
    if (dropped > 0)
        emit log(QStringLiteral("Journal %1 lost %2 entries: at most %3 wait in memory").arg(name()).arg(dropped).arg(MaxWaiting),
                 LogColours::Failure);
    dropped = 0;
}

// One slice per turn, each its own transaction, so that the entries of the moment are
// committed between them.
void JournalWriter::prune()
{
    if (isFailing || !database.isOpen())
        return;
    const qint64 cutoff = QDateTime::currentMSecsSinceEpoch() - settings.keepDays * MsPerDay;
    if (database.deleteOlder(cutoff, PruneSlice) == PruneSlice)
        QTimer::singleShot(0, this, &JournalWriter::prune);
}

QString JournalWriter::name() const
{
    return settings.file;
}
