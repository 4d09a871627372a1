#include "body/settings.h"

#include <QDir>
#include <QtGlobal>

#include "app/config.h"
#include "app/timeunits.h"

namespace {

constexpr int LongestSeconds = 3600;
constexpr int DefaultMaxReconnectSeconds = 60;
constexpr int ShortestLinkTimeoutSeconds = 5;
constexpr int ShortestAlarmRepeatSeconds = 5;
constexpr int DefaultAlarmRepeatSeconds = 30;
constexpr int FullVolume = 100;
constexpr int LongestHoldoffMs = 600000;
constexpr int LongestAlarmListKeepMin = 24 * 60;
constexpr int LongestJournalKeepDays = 3650;
constexpr int DefaultRunTimeoutSeconds = RunSettings::DefaultTimeoutMs / MsPerSecond;

struct Bounds
{
    int low;
    int high;
    int fallback;    // for an absent value and for one that is not a number
    bool zeroIsOff;  // 0 switches the feature off, and so does a negative value
};

int boundedSetting(const QString &name, const QString &text, const Bounds &bounds)
{
    if (text.isEmpty())
        return bounds.fallback;
    bool isNumber = false;
    const int value = text.toInt(&isNumber, 10);
    if (!isNumber) {
        qCDebug(lcConfig).noquote() << QStringLiteral("%1 [%2] is not a whole number; using %3")
                                           .arg(name, text).arg(bounds.fallback);
        return bounds.fallback;
    }
    if (bounds.zeroIsOff && value == 0)
        return 0;
    const int bounded = bounds.zeroIsOff && value < 0 ? 0 : qBound(bounds.low, value, bounds.high);
    if (bounded != value)
        qCDebug(lcConfig).noquote() << QStringLiteral("%1 [%2] is out of bounds %3..%4; using %5")
                                           .arg(name, text).arg(bounds.low).arg(bounds.high).arg(bounded);
    return bounded;
}

int boundedKey(const Config &config, const char *key, const Bounds &bounds)
{
    const QString name = QLatin1String(key);
    return boundedSetting(name, config.valueOf(name), bounds);
}

LinkTiming linkTiming(const Config &config)
{
    LinkTiming timing;
    const int reconnect = boundedKey(config, "RECONNECT_SEC", {1, LongestSeconds, 0, true});
    if (reconnect > 0) {
        const int longest = boundedKey(config, "RECONNECT_MAX_SEC",
                                       {reconnect, LongestSeconds,
                                        qMax(reconnect, DefaultMaxReconnectSeconds), false});
        timing.reconnectMs = reconnect * MsPerSecond;
        timing.maxReconnectMs = longest * MsPerSecond;
    }
    timing.timeoutMs = MsPerSecond
        * boundedKey(config, "LINK_TIMEOUT_SEC", {ShortestLinkTimeoutSeconds, LongestSeconds, 0, true});
    return timing;
}

// LINK_LOST_SOUND file [volume] [repeat_sec]
AlarmSound alarmSound(const Config &config)
{
    AlarmSound sound;
    QString volume, repeat;
    QString rest = takeItem(config.allRestsOf(QStringLiteral("LINK_LOST_SOUND")).value(0), sound.file);
    rest = takeItem(rest, volume);
    takeItem(rest, repeat);
    if (sound.file.isEmpty())
        return sound;
    sound.volume = boundedSetting(QStringLiteral("LINK_LOST_SOUND volume"), volume,
                                  {0, FullVolume, FullVolume, false});
    sound.repeatMs = MsPerSecond
        * boundedSetting(QStringLiteral("LINK_LOST_SOUND repeat"), repeat,
                         {ShortestAlarmRepeatSeconds, LongestSeconds, DefaultAlarmRepeatSeconds, false});
    return sound;
}

bool switchedOn(const Config &config, const char *key)
{
    return boundedKey(config, key, {0, 1, 0, false}) == 1;
}

// A switch that stays off for anything but 0 or 1, with one debug line for such a value.
bool switchedOnOnlyBy1(const Config &config, const char *key)
{
    const QString name = QLatin1String(key);
    const QString text = config.valueOf(name);
    if (!text.isEmpty() && text != QLatin1String("0") && text != QLatin1String("1"))
        qCDebug(lcConfig).noquote() << QStringLiteral("%1 [%2] is neither 0 nor 1; using 0").arg(name, text);
    return text == QLatin1String("1");
}

// The words of every entry of a key that lists names ("CRITICAL_EVENTS Fire Smoke", "DESKS A B"),
// each item as the configuration quotes it split at its blanks, so that a quoted list counts
// as its words.
QStringList wordsOf(const Config &config, const char *key)
{
    QStringList words;
    const QStringList entries = config.allRestsOf(QLatin1String(key));
    for (const QString &entry : entries) {
        QString item;
        for (int at = 0; at < entry.size();) {
            at = takeItemAt(entry, at, item);
            words << eventNameList(item);
        }
    }
    return words;
}

OperatorSettings readOperatorViews(const Config &config)
{
    OperatorSettings views;
    views.bar = switchedOn(config, "OPERATOR_BAR");
    views.tray = switchedOn(config, "TRAY");
    views.alarmList = switchedOn(config, "ALARM_LIST");
    return views;
}

AlarmSettings readAlarms(const Config &config)
{
    AlarmSettings alarms;
    alarms.holdoffMs = boundedKey(config, "EVENT_HOLDOFF_MS", {0, LongestHoldoffMs, 0, true});
    alarms.repeatUntilAck = switchedOn(config, "REPEAT_UNTIL_ACK");
    alarms.criticalEvents = wordsOf(config, "CRITICAL_EVENTS");
    alarms.keepAcknowledgedMs = MsPerMinute
        * boundedKey(config, "ALARM_LIST_KEEP_MIN",
                     {1, LongestAlarmListKeepMin, AlarmSettings::DefaultKeepAcknowledgedMs / MsPerMinute, false});
    return alarms;
}

// RUN_ON_RING program [argument ...] or RUN_ON_EVENT events program [argument ...], every entry.
QVector<EventCommand> commands(const Config &config, const char *key, bool withEvents)
{
    QVector<EventCommand> result;
    const QStringList entries = config.allRestsOf(QLatin1String(key));
    for (const QString &entry : entries) {
        const EventCommand command = EventCommand::fromEntry(entry, withEvents);
        if (command.program.isEmpty())
            qCDebug(lcConfig).noquote() << QStringLiteral("%1 [%2] names no program; ignored").arg(QLatin1String(key), entry);
        else
            result << command;
    }
    return result;
}

DesktopSettings readDesktop(const Config &config)
{
    DesktopSettings desktop;
    desktop.notify = switchedOn(config, "NOTIFY");
    desktop.dbus = switchedOn(config, "DBUS");
    desktop.singleInstance = switchedOn(config, "SINGLE_INSTANCE");
    return desktop;
}

RunSettings readRuns(const Config &config)
{
    RunSettings runs;
    runs.onRing = commands(config, "RUN_ON_RING", false);
    runs.onEvent = commands(config, "RUN_ON_EVENT", true);
    runs.timeoutMs = MsPerSecond
        * boundedKey(config, "RUN_TIMEOUT_SEC", {1, LongestSeconds, DefaultRunTimeoutSeconds, false});
    return runs;
}

// DESKS node ...: every entry adds its nodes, a node named twice counts once. A name that holds
// the route's '>' or a channel's '.' names no node.
QStringList readDesks(const Config &config)
{
    QStringList desks;
    for (const QString &node : wordsOf(config, "DESKS")) {
        if (node.contains(QLatin1Char('>')) || node.contains(QLatin1Char('.')))
            qCDebug(lcConfig).noquote() << QStringLiteral("DESKS [%1] is not a node name; ignored").arg(node);
        else if (!desks.contains(node))
            desks << node;
    }
    return desks;
}

// JOURNAL [file]: a name relative to the working directory, or the default state file.
JournalSettings readJournal(const Config &config)
{
    JournalSettings journal;
    const QStringList names = config.allValuesOf(QStringLiteral("JOURNAL"));
    if (names.isEmpty())
        return journal;
    journal.file = names.first().isEmpty() ? JournalSettings::defaultFile(QProcessEnvironment::systemEnvironment())
                                           : QDir::current().absoluteFilePath(names.first());
    journal.keepDays = boundedKey(config, "JOURNAL_KEEP_DAYS", {1, LongestJournalKeepDays, JournalSettings::DefaultKeepDays, false});
    return journal;
}

} // namespace

bool Settings::supervisesLink() const
{
    return link.reconnectMs > 0 || link.timeoutMs > 0 || !linkLostSound.file.isEmpty();
}

Settings Settings::fromConfig(const Config &config)
{
    Settings settings;
    settings.link = linkTiming(config);
    settings.linkLostSound = alarmSound(config);
    settings.showSoundErrors = switchedOn(config, "SHOW_SOUND_ERRORS");
    settings.operatorViews = readOperatorViews(config);
    settings.alarms = readAlarms(config);
    settings.runs = readRuns(config);
    settings.desks = readDesks(config);
    settings.journal = readJournal(config);
    settings.desktop = readDesktop(config);
    settings.nodeName = config.valueOf(QStringLiteral("NAME_ON_STARS"), QStringLiteral("Zendri"));
    settings.host = config.valueOf(QStringLiteral("STARS_IP"), QStringLiteral("localhost"));
    settings.port = config.valueOf(QStringLiteral("STARS_PORT"), QStringLiteral("6057"));
    settings.soundWatch = switchedOnOnlyBy1(config, "SOUND_WATCH");
    const QStringList logFile = config.allValuesOf(QStringLiteral("LOG_FILE"));
    settings.logToFile = !logFile.isEmpty();
    settings.logFileName = logFile.value(0);
    return settings;
}
