#include "alarm/alarmcause.h"

QString alarmCauseWord(AlarmCause cause)
{
    switch (cause) {
    case AlarmCause::Event:
        return QStringLiteral("event");
    case AlarmCause::Repeat:
        return QStringLiteral("repeat");
    case AlarmCause::Click:
        return QStringLiteral("click");
    case AlarmCause::SoundBack:
        return QStringLiteral("sound back");
    case AlarmCause::Restore:
        return QStringLiteral("restore");
    case AlarmCause::Peer:
        return QStringLiteral("peer");
    case AlarmCause::Heard:
        return QStringLiteral("heard");
    case AlarmCause::NotHeard:
        return QStringLiteral("not heard");
    case AlarmCause::Acknowledge:
        return QStringLiteral("ack");
    case AlarmCause::AcknowledgeAll:
        return QStringLiteral("ack all");
    case AlarmCause::Silence:
        return QStringLiteral("silence");
    case AlarmCause::Mute:
        return QStringLiteral("mute");
    case AlarmCause::Snooze:
        return QStringLiteral("snooze");
    case AlarmCause::Unmute:
        return QStringLiteral("unmute");
    case AlarmCause::SnoozeEnd:
        return QStringLiteral("snooze end");
    case AlarmCause::Shelve:
        return QStringLiteral("shelve");
    case AlarmCause::Unshelve:
        return QStringLiteral("unshelve");
    case AlarmCause::ShelfEnd:
        return QStringLiteral("shelf end");
    case AlarmCause::Expired:
        break;
    }
    return QStringLiteral("expired");
}

