// Reads arbitrary received lines as desk protocol events, as a desk takes them from a peer,
// and checks what the desks promise: a message of another word is none; an operator or reason
// is shown without control characters and at most 64 characters long; and a message, written
// as this desk writes one and read back, says the same (its values as one line of items:
// white space collapsed, a double quote an apostrophe) on one line.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>

#include "desks/deskmessage.h"
#include "stars/amsg.h"
#include "fuzzcheck.h"

namespace {

bool shownWell(const QString &text)
{
    if (text.size() > DeskMessage::MaxShownChars)
        return false;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// A value as it comes back from one item of a Stars line.
QString asItem(const QString &value)
{
    return QString(value).replace(QLatin1Char('"'), QLatin1Char('\'')).simplified();
}

DeskMessage readLine(const QString &line)
{
    AMsg msg;
    msg.parse(line);
    return DeskMessage::read(msg.cmd, msg.params);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AMsg msg;
    msg.parse(decodeReceivedLine(QByteArray(reinterpret_cast<const char *>(data), int(size))));
    const DeskMessage message = DeskMessage::read(msg.cmd, msg.params);
    const bool deskWord = msg.cmd == QLatin1String("AlarmAcknowledged") || msg.cmd == QLatin1String("SoundLost")
        || msg.cmd == QLatin1String("SoundBack");
    check(deskWord == (message.kind != DeskMessage::Kind::None));
    check(shownWell(message.who) && shownWell(message.reason));
    if (message.kind == DeskMessage::Kind::None)
        return 0;

    const QString text = message.eventText();
    check(!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) && !text.contains(QChar(0)));
    const DeskMessage again = readLine(QStringLiteral("Peer>Desk _") + text);
    check(again.kind == message.kind);
    check(again.sender == asItem(message.sender) && again.event == asItem(message.event));
    check(asItem(again.who) == asItem(message.who) && asItem(again.reason) == asItem(message.reason));
    return 0;
}
