#include "messageline.h"

#include <cstring>

namespace {

constexpr char AnswerMarker = '@';
constexpr char EventMarker = '_';

// White space of the line grammar that Latin-1 can hold.
bool isWhite(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0d) || u == 0x20 || u == 0x85 || u == 0xa0;
}

const char *skipWhite(const char *p, const char *end)
{
    while (p != end && isWhite(*p))
        ++p;
    return p;
}

QLatin1String view(const char *begin, const char *end)
{
    return QLatin1String(begin, int(end - begin));
}

// Takes one white-space-separated or double-quoted item off [p, end) and moves p past it.
// An unclosed quote runs to the end.
QLatin1String takeItem(const char *&p, const char *end)
{
    p = skipWhite(p, end);
    if (p == end)
        return {};
    if (*p == '"') {
        const char *begin = ++p;
        const auto *close = static_cast<const char *>(std::memchr(p, '"', size_t(end - p)));
        p = close ? close + 1 : end;
        return view(begin, close ? close : end);
    }
    const char *begin = p;
    while (p != end && !isWhite(*p))
        ++p;
    return view(begin, p);
}

// The part of a route side before its first '.': the node without its channel.
QLatin1String nodeOf(QLatin1String side)
{
    const auto *dot = static_cast<const char *>(std::memchr(side.data(), '.', size_t(side.size())));
    return dot ? view(side.data(), dot) : side;
}

} // namespace

MessageLine MessageLine::parse(QLatin1String line)
{
    MessageLine message;
    const char *end = line.data() + line.size();
    const char *p = skipWhite(line.data(), end);
    if (p == end) {
        message.fault = Fault::Blank;
        return message;
    }
    const QLatin1String route = takeItem(p, end);
    const auto *arrow = static_cast<const char *>(std::memchr(route.data(), '>', size_t(route.size())));
    if (!arrow) {
        message.fault = Fault::NoRoute;
        return message;
    }
    message.from = view(route.data(), arrow);
    message.to = view(arrow + 1, route.data() + route.size());
    message.fromNode = nodeOf(message.from);
    message.toNode = nodeOf(message.to);

    message.tail = view(skipWhite(p, end), end);
    const QLatin1String command = takeItem(p, end);
    if (command.isEmpty()) {
        message.fault = Fault::NoCommand;
        return message;
    }
    if (command.front() == QLatin1Char(AnswerMarker))
        message.kind = Kind::Answer;
    else if (command.front() == QLatin1Char(EventMarker))
        message.kind = Kind::Event;
    message.word = message.kind == Kind::Ask ? command : command.mid(1);
    message.argument = takeItem(p, end);
    return message;
}
