#include "journal/journal.h"

#include <QDateTime>
#include <QMutexLocker>

#include "app/timeunits.h"
#include "journal/journalopening.h"
#include "journal/journalrestore.h"
#include "journal/journalwriter.h"
#include "log/logcolours.h"

namespace {

// Causes that an operator's hand gives, here, when the transition names nobody.
bool byOperator(AlarmCause cause)
{
    switch (cause) {
    case AlarmCause::Click:
    case AlarmCause::Acknowledge:
    case AlarmCause::AcknowledgeAll:
    case AlarmCause::Silence:
    case AlarmCause::Mute:
    case AlarmCause::Snooze:
    case AlarmCause::Unmute:
    case AlarmCause::Shelve:
    case AlarmCause::Unshelve:
        return true;
    default:
        return false;
    }
}

} // namespace

Journal::Journal(const JournalSettings &settings, AlarmModel *alarms, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , alarms(alarms)
    , writer(new JournalWriter(settings, &queue))
    , standing(standingNames(*alarms))
    , quiet(alarms->quiet())
{
    thread.setObjectName(QStringLiteral("journal"));
    writer->moveToThread(&thread);
    connect(writer, &JournalWriter::log, this, &Journal::log);
    thread.start();
    connect(alarms, &AlarmModel::rowChanged, this, &Journal::takeTransition);
    connect(alarms, &AlarmModel::eventTaken, this, &Journal::takeEvent);
    connect(alarms, &AlarmModel::quietChanged, this, &Journal::takeQuiet);
    connect(alarms, &AlarmModel::silenced, this, &Journal::takeSilence);
}

Journal::~Journal()
{
    add(entry(JournalEntry::Kind::Stop));
    QMetaObject::invokeMethod(writer, [this] { writer->finish(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    delete writer;
}

void Journal::start()
{
    JournalOpening opening;
    QMetaObject::invokeMethod(writer, [this] { return writer->open(standing); }, Qt::BlockingQueuedConnection, &opening);
    add(entry(JournalEntry::Kind::Start));
    restore(opening);
}

void Journal::linkUp(const QString &address)
{
    linkIsUp = true;
    add(entry(JournalEntry::Kind::Link, address, QStringLiteral("logged in")));
}

// Only a link that was up can be lost; attempts that never connected are not outages.
void Journal::linkDown(const QString &address)
{
    if (!linkIsUp)
        return;
    linkIsUp = false;
    add(entry(JournalEntry::Kind::Link, address, QStringLiteral("down")));
}

void Journal::soundFound(bool lost, const QString &text)
{
    if (lost == soundIsLost)
        return;
    soundIsLost = lost;
    add(entry(JournalEntry::Kind::Sound, text, lost ? QStringLiteral("lost") : QStringLiteral("back")));
}

void Journal::add(const JournalEntry &entry)
{
    enqueue([this, &entry] { queue.entries.push_back(entry); });
}

// The writer is woken once for what gathers until it next takes the queue.
void Journal::enqueue(const std::function<void()> &change)
{
    bool first = false;
    {
        QMutexLocker locker(&queue.mutex);
        first = queue.entries.empty() && queue.standing.isEmpty();
        change();
    }
    if (first)
        QMetaObject::invokeMethod(writer, &JournalWriter::wake, Qt::QueuedConnection);
}

JournalEntry Journal::entry(JournalEntry::Kind kind, const QString &text, const QString &state) const
{
    JournalEntry e;
    e.atMs = QDateTime::currentMSecsSinceEpoch();
    e.kind = kind;
    e.text = text;
    e.state = state;
    if (kind != JournalEntry::Kind::Link && kind != JournalEntry::Kind::Sound)
        e.operatorName = localOperator();
    return e;
}

// Every transition keeps the row's alarm for a restart; an entry is written for each change of
// state and for each cause but an event or a repeat, which the event entries already tell.
void Journal::takeTransition(const AlarmTransition &t)
{
    const AlarmRow &alarm = alarms->row(t.row);
    enqueue([this, &alarm, &t] {
        AlarmRow &kept = queue.standing[standing.at(t.row)];
        kept = alarm;
        kept.name = standing.at(t.row);
    });
    if (t.before == t.after && (t.cause == AlarmCause::Event || t.cause == AlarmCause::Repeat))
        return;
    JournalEntry e;
    e.atMs = t.atMs;
    e.kind = JournalEntry::Kind::Alarm;
    e.row = t.rowName;
    e.sender = t.sender;
    e.event = t.event;
    e.text = t.causeText();
    e.state = t.after.text();
    e.cause = alarmCauseWord(t.cause);
    e.operatorName = t.who.isEmpty() && byOperator(t.cause) ? localOperator() : t.who;
    e.desk = t.desk;
    e.sinceMs = alarm.unacknowledgedSinceMs;
    e.untilMs = alarm.shelfEndMs;
    add(e);
}

void Journal::takeEvent(const AlarmEvent &event)
{
    if (event.rows.isEmpty())
        return;
    QStringList rows;
    for (int row : event.rows)
        rows << alarms->row(row).name;
    JournalEntry e;
    e.atMs = event.atMs;
    e.kind = JournalEntry::Kind::Event;
    e.row = rows.join(QStringLiteral(", "));
    e.sender = event.sender;
    e.event = event.event;
    e.text = event.text;
    add(e);
}

// "mute", "snooze 15 min", "unmute", or "snooze end", which may come by itself.
void Journal::takeQuiet()
{
    const AlarmModel::Quiet previous = quiet;
    quiet = alarms->quiet();
    QString action;
    switch (quiet) {
    case AlarmModel::Quiet::Muted:
        action = alarmCauseWord(AlarmCause::Mute);
        break;
    case AlarmModel::Quiet::Snoozed:
        action = QStringLiteral("%1 %2 min").arg(alarmCauseWord(AlarmCause::Snooze)).arg(alarms->snoozeMs() / MsPerMinute);
        break;
    case AlarmModel::Quiet::Off:
        action = alarmCauseWord(previous == AlarmModel::Quiet::Snoozed ? AlarmCause::SnoozeEnd : AlarmCause::Unmute);
        break;
    }
    JournalEntry e = entry(JournalEntry::Kind::Operator, action);
    if (action == alarmCauseWord(AlarmCause::SnoozeEnd))
        e.operatorName.clear();
    add(e);
}

void Journal::takeSilence()
{
    add(entry(JournalEntry::Kind::Operator, alarmCauseWord(AlarmCause::Silence)));
}

void Journal::restore(const JournalOpening &opening)
{
    const QString line = restoreAlarms(*alarms, opening);
    if (!line.isEmpty())
        emit log(line, LogColours::Notice);
}
