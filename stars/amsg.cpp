#include "stars/amsg.h"

#include "app/config.h"

namespace {

const ushort MaxLatin1 = 0xff;

// Registered at load time so that AMsg travels through queued signals and QSignalSpy.
[[maybe_unused]] const int amsgMetaTypeId = qRegisterMetaType<AMsg>("AMsg");

QString withoutLineBreaks(const QString &line)
{
    if (!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')))
        return line;
    QString result = line;
    result.remove(QLatin1Char('\n'));
    result.remove(QLatin1Char('\r'));
    return result;
}

// Splits "node.channel" at its first dot; without a dot the whole text is the node.
void splitAtDot(const QString &address, QString &node, QString &channel)
{
    const int dot = address.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        node = address;
        return;
    }
    node = address.left(dot);
    channel = address.mid(dot + 1);
}

// node + "." + channel is the address itself whenever there is a channel, so it is shared.
QString fullAddress(const QString &address, const QString &node, const QString &channel)
{
    return channel.isEmpty() ? node : address;
}

// True when simplified() would return the text unchanged: no white space at the ends
// and none inside but single blanks.
bool isSimplified(const QString &text)
{
    const QChar *begin = text.constData();
    const QChar *end = begin + text.size();
    bool afterBlank = true;
    for (const QChar *c = begin; c != end; ++c) {
        if (c->unicode() == ' ') {
            if (afterBlank)
                return false;
            afterBlank = true;
        } else if (c->isSpace()) {
            return false;
        } else {
            afterBlank = false;
        }
    }
    return !afterBlank || text.isEmpty();
}

QString simplifiedText(const QString &text)
{
    return isSimplified(text) ? text : text.simplified();
}

// The rest of a simplified text from `position`, without the blank that may lead it.
QString restOf(const QString &text, int position)
{
    if (position < text.size() && text.at(position) == QLatin1Char(' '))
        ++position;
    return position < text.size() ? text.mid(position) : QString();
}

} // namespace

bool AMsg::parse(const QString &received)
{
    line = withoutLineBreaks(received);
    const QString text = simplifiedText(line);
    int position = takeItemAt(text, 0, route);
    body = restOf(text, position);

    const int arrow = route.indexOf(QLatin1Char('>'));
    if (!body.isEmpty() && arrow >= 0) {
        from = route.left(arrow);
        to = route.mid(arrow + 1);
        splitAtDot(from, fromNode, fromCh);
        splitAtDot(to, toNode, toCh);

        position = takeItemAt(text, position, cmd);
        while (position < text.size()) {
            QString item;
            position = takeItemAt(text, position, item);
            params.append(item);
        }
        val = params.value(0);

        if (!cmd.isEmpty()) {
            type = Ask;
            if (cmd.startsWith(QLatin1Char('@')))
                type = Ans;
            else if (cmd.startsWith(QLatin1Char('_')))
                type = Event;
            if (type != Ask)
                cmd.remove(0, 1);
            valid = true;
        }
    }
    fromFull = fullAddress(from, fromNode, fromCh);
    toFull = fullAddress(to, toNode, toCh);
    return valid;
}

QString decodeReceivedLine(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(bytes.constData(), nul < 0 ? bytes.size() : nul);
}

// A character outside Latin-1 becomes one '?', also when it takes a surrogate pair in UTF-16.
QByteArray encodeSentLine(const QString &line)
{
    QByteArray bytes;
    bytes.reserve(line.size() + 1);
    const int size = line.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = line.at(i);
        if (c.unicode() <= MaxLatin1) {
            bytes.append(char(c.unicode()));
            continue;
        }
        bytes.append('?');
        if (c.isHighSurrogate() && i + 1 < size && line.at(i + 1).isLowSurrogate())
            ++i;
    }
    bytes.append('\n');
    return bytes;
}
