#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

#include "alarm/alarmmodel.h"
#include "journal/journalentry.h"
#include "journal/journalqueue.h"
#include "journal/journalsettings.h"

class JournalWriter;
struct JournalOpening;

// The alarm journal: a sink of the alarm model's transitions, events and quiet spells, of the
// link, the sound output and Velmar's start and stop, written to an SQLite file by a writer on
// a thread of its own; and at start the source of the alarms that stood when Velmar last
// stopped, which it hands back to the model.
class Journal : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Journal)

public:
    Journal(const JournalSettings &settings, AlarmModel *alarms, QObject *parent);
    // Records the stop and waits until everything is written.
    ~Journal() override;

    // Opens the file, records the start and brings back the alarms that stood.
    void start();
    void linkUp(const QString &address);
    void linkDown(const QString &address);
    // The sound output as the sound watch finds it: lost for a reason, or usable.
    void soundFound(bool lost, const QString &text);

signals:
    void log(const QString &msg, const QColor &c);

private:
    void add(const JournalEntry &entry);
    void enqueue(const std::function<void()> &change);
    JournalEntry entry(JournalEntry::Kind kind, const QString &text = QString(), const QString &state = QString()) const;
    void takeTransition(const AlarmTransition &transition);
    void takeEvent(const AlarmEvent &event);
    void takeQuiet();
    void takeSilence();
    void restore(const JournalOpening &opening);

    const JournalSettings settings;
    AlarmModel *alarms;
    JournalQueue queue;
    QThread thread;
    JournalWriter *writer;
    // Each row's name in the table of standing alarms.
    const QStringList standing;
    AlarmModel::Quiet quiet;
    bool linkIsUp = false;
    bool soundIsLost = false;
};
