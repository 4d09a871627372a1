// Fills the journal's table of standing alarms with rows whose every field comes from the
// input, as a crash or a person editing the file might leave them, reads them back as Velmar
// does at start and restores them into an alarm model, then works the model a little: nothing
// may crash, overflow or leave an alarm in a state it cannot be in.
// The input is rows split at line feeds, each row's fields split at tabs in the table's order
// (row, state, not_heard, not_heard_reason, quiet_events, count, first_ms, last_ms,
// unacknowledged_since_ms, sender, event, text, shelved_since_ms, shelf_end_ms); a field is
// stored as an integer when it begins with '#', as NULL when it is "~", else as text, so that
// SQLite's loose typing gives the reader what a mangled file would.
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <cstdint>

#include "alarm/alarmmodel.h"
#include "journal/journaldatabase.h"
#include "journal/journalopening.h"
#include "journal/journalrestore.h"
#include "fuzzcheck.h"

namespace {

constexpr qint64 NowMs = 1765000000000;
constexpr int Fields = 14;
const QStringList Rows {QStringLiteral("Alarm"), QStringLiteral("Alarm"), QStringLiteral("Fire"), QStringLiteral("Done Finished")};

struct Harness
{
    QTemporaryDir dir;
    JournalDatabase db {QStringLiteral("fuzz")};
};

Harness *harness = nullptr;

QVariant fieldValue(const QByteArray &field)
{
    if (field == "~")
        return QVariant(QVariant::LongLong);
    if (field.startsWith('#'))
        return field.mid(1).toLongLong();
    return QString::fromUtf8(field);
}

// In one transaction, so that an input costs one commit.
void store(const QByteArray &input)
{
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fuzz"));
    db.transaction();
    QSqlQuery query(db);
    query.exec(QStringLiteral("DELETE FROM alarms"));
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO alarms VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QByteArray &row : input.split('\n')) {
        const QByteArrayList fields = row.split('\t');
        for (int i = 0; i < Fields; ++i)
            query.bindValue(i, fieldValue(fields.value(i)));
        query.exec();
    }
    db.commit();
}

void checkRows(const AlarmModel &alarms)
{
    for (int row = 0; row < alarms.rowCount(); ++row) {
        const AlarmRow &alarm = alarms.row(row);
        check(!alarm.notHeard || alarm.unacknowledged());
        check(alarm.state != AlarmState::Shelved || !alarm.critical);
        check(alarm.count >= 0 && alarm.quietEvents >= 0 && alarm.heldBack >= 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(discardMessages);
    static QCoreApplication app(*argc, *argv);
    harness = new Harness;
    QString problem;
    check(harness->db.open(harness->dir.filePath(QStringLiteral("journal.db")), problem));
    // What a run writes need not outlive it.
    QSqlQuery(QSqlDatabase::database(QStringLiteral("fuzz"))).exec(QStringLiteral("PRAGMA synchronous = OFF"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    store(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    JournalOpening opening;
    opening.standing = harness->db.standing();
    opening.lastMs = NowMs - 1000;
    qint64 now = NowMs;
    AlarmModel alarms(Rows, AlarmSettings {2000, true, {QStringLiteral("Fire")}}, nullptr,
                      {[&now] { return now; }, [&now] { return now; }});
    restoreAlarms(alarms, opening);
    checkRows(alarms);
    alarms.takeEvent({QStringLiteral("Dev"), QStringLiteral("Alarm"), QString(), now, {0, 1}});
    alarms.played(0);
    alarms.shelve(1, 60000);
    now += 3600000;
    alarms.toggleMute();
    alarms.toggleMute();
    alarms.acknowledgeAll(Acknowledgement::here(AlarmCause::AcknowledgeAll));
    now += 366LL * 24 * 3600000;
    alarms.takeEvent({QStringLiteral("Ops"), QStringLiteral("Fire"), QString(), now, {2}});
    checkRows(alarms);
    return 0;
}
