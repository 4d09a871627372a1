#include "operator/eventcommand.h"

#include <QStringView>

#include <utility>

#include "app/config.h"

namespace {

const QChar Percent = QLatin1Char('%');

bool restIsBlank(const QString &entry, int from)
{
    return QStringView(entry).mid(from).trimmed().isEmpty();
}

// The placeholder that starts at `at` (just after the percent sign): its length, and its value.
int placeholderAt(const QString &argument, int at, const EventFacts &facts, QString &value)
{
    const auto names = {std::make_pair(QStringLiteral("sender"), &facts.sender),
                        std::make_pair(QStringLiteral("event"), &facts.event),
                        std::make_pair(QStringLiteral("text"), &facts.text),
                        std::make_pair(QStringLiteral("row"), &facts.row),
                        std::make_pair(QStringLiteral("time"), &facts.time)};
    const QStringView rest = QStringView(argument).mid(at);
    for (const auto &name : names) {
        if (rest.startsWith(name.first)) {
            value = *name.second;
            return name.first.size();
        }
    }
    return 0;
}

} // namespace

QString inertText(const QString &text, int maxChars)
{
    QString result = text.left(maxChars);
    if (!result.isEmpty() && result.at(result.size() - 1).isHighSurrogate())
        result.chop(1);
    for (QChar &c : result) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return result;
}

EventCommand EventCommand::fromEntry(const QString &entry, bool withEvents)
{
    QStringList items;
    QString item;
    for (int at = 0; !restIsBlank(entry, at);) {
        at = takeItemAt(entry, at, item);
        items << item;
    }
    EventCommand command;
    if (withEvents && !items.isEmpty())
        command.events = eventNameList(items.takeFirst());
    if (items.isEmpty() || (withEvents && command.events.isEmpty()))
        return command;
    command.program = items.takeFirst();
    command.arguments = items;
    return command;
}

QString EventCommand::expanded(const QString &argument, const EventFacts &facts)
{
    QString result;
    result.reserve(argument.size());
    for (int i = 0; i < argument.size(); ++i) {
        const QChar c = argument.at(i);
        if (c != Percent || i + 1 == argument.size()) {
            result += c;
            continue;
        }
        if (argument.at(i + 1) == Percent) {
            result += Percent;
            ++i;
            continue;
        }
        QString value;
        const int length = placeholderAt(argument, i + 1, facts, value);
        if (length == 0) {
            result += c;
            continue;
        }
        result += inertText(value, MaxValueChars);
        i += length;
    }
    return result;
}

QStringList EventCommand::argumentsFor(const EventFacts &facts) const
{
    QStringList result;
    result.reserve(arguments.size());
    for (const QString &argument : arguments)
        result << expanded(argument, facts);
    return result;
}
