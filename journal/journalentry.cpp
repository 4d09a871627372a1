#include "journal/journalentry.h"

QString JournalEntry::kindWord(Kind kind)
{
    switch (kind) {
    case Kind::Event:
        return QStringLiteral("event");
    case Kind::Alarm:
        return QStringLiteral("alarm");
    case Kind::Operator:
        return QStringLiteral("operator");
    case Kind::Link:
        return QStringLiteral("link");
    case Kind::Sound:
        return QStringLiteral("sound");
    case Kind::Start:
        return QStringLiteral("start");
    case Kind::Stop:
        break;
    }
    return QStringLiteral("stop");
}
