#include "desks/deskmessage.h"

#include "operator/eventcommand.h"

namespace {

const QString AcknowledgedWord = QStringLiteral("AlarmAcknowledged");
const QString SoundLostWord = QStringLiteral("SoundLost");
const QString SoundBackWord = QStringLiteral("SoundBack");

// A value as one item of a Stars line, which collapses white space and splits at blanks
// outside quotes; no item can hold a double quote, so one becomes an apostrophe.
QString item(const QString &value)
{
    QString text = value.simplified();
    text.replace(QLatin1Char('"'), QLatin1Char('\''));
    if (text.isEmpty() || text.contains(QLatin1Char(' ')))
        return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

} // namespace

DeskMessage DeskMessage::acknowledged(const QString &sender, const QString &event, const QString &who)
{
    DeskMessage message;
    message.kind = Kind::Acknowledged;
    message.sender = sender;
    message.event = event;
    message.who = who;
    return message;
}

DeskMessage DeskMessage::soundLost(const QString &reason)
{
    DeskMessage message;
    message.kind = Kind::SoundLost;
    message.reason = reason;
    return message;
}

DeskMessage DeskMessage::soundBack()
{
    DeskMessage message;
    message.kind = Kind::SoundBack;
    return message;
}

// SENDER and EVENT are matched as they came and never shown. A reason left unquoted is taken
// whole; a desk that cannot sound is worth knowing even when it gives no reason.
DeskMessage DeskMessage::read(const QString &word, const QStringList &items)
{
    if (word == AcknowledgedWord) {
        DeskMessage message = acknowledged(items.value(0), items.value(1), inertText(items.value(2), MaxShownChars));
        if (items.size() < 3 || message.sender.isEmpty() || message.event.isEmpty() || message.who.trimmed().isEmpty())
            message.problem = QStringLiteral("it lacks an item");
        return message;
    }
    if (word == SoundLostWord) {
        const QString reason = inertText(items.join(QLatin1Char(' ')), MaxShownChars).trimmed();
        return soundLost(reason.isEmpty() ? QStringLiteral("no reason given") : reason);
    }
    if (word == SoundBackWord)
        return soundBack();
    return DeskMessage();
}

QString DeskMessage::eventText() const
{
    switch (kind) {
    case Kind::Acknowledged:
        return AcknowledgedWord + QLatin1Char(' ') + item(sender) + QLatin1Char(' ') + item(event) + QLatin1Char(' ') + item(who);
    case Kind::SoundLost:
        return SoundLostWord + QLatin1Char(' ') + item(reason);
    case Kind::SoundBack:
        return SoundBackWord;
    case Kind::None:
        break;
    }
    return QString();
}
