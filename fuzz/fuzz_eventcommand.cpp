// Reads an arbitrary RUN_ON_RING / RUN_ON_EVENT entry and expands its arguments with arbitrary
// facts of an event, and checks what the README promises: each configured item stays one
// argument; %sender, %event, %text, %row and %time become their values and %% one percent
// sign; a value is inserted as inert text (no control characters, at most 1024 characters,
// no half of a surrogate pair at the cut) and never expanded again.
// The input is the entry, then the sender, the event, the text, the row and the time, split
// at NUL bytes and read as UTF-8, as the configuration and the received lines are; the whole
// input, read as UTF-16 code units, is also made inert with its first byte as the bound.
#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <cstdint>
#include <cstring>

#include "app/config.h"
#include "operator/eventcommand.h"
#include "fuzzcheck.h"

namespace {

const QStringList Placeholders{QStringLiteral("sender"), QStringLiteral("event"), QStringLiteral("text"),
                               QStringLiteral("row"), QStringLiteral("time")};

QStringList values(const EventFacts &facts)
{
    return {facts.sender, facts.event, facts.text, facts.row, facts.time};
}

EventFacts factsOf(const QStringList &values)
{
    return {values.value(0), values.value(1), values.value(2), values.value(3), values.value(4)};
}

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control;
}

// Kept characters as they were but for control characters made blanks; nothing cut but beyond
// the bound, or the first half of a pair whose second half lies beyond it.
void checkInert(const QString &text, int maxChars)
{
    const QString inert = inertText(text, maxChars);
    const int bound = qMin(text.size(), maxChars);
    const int kept = inert.size();
    check(kept == bound || (kept == bound - 1 && text.at(kept).isHighSurrogate()));
    for (int i = 0; i < kept; ++i)
        check(isControl(text.at(i)) ? inert.at(i) == QLatin1Char(' ') : inert.at(i) == text.at(i));
    check(kept == 0 || kept == text.size() || !(inert.at(kept - 1).isHighSurrogate() && text.at(kept).isLowSurrogate()));
}

// The entry's items as the configuration reader takes them, one after the other.
QStringList itemsOf(const QString &entry)
{
    QStringList items;
    QString item;
    for (int at = 0; !QStringView(entry).mid(at).trimmed().isEmpty();) {
        at = takeItemAt(entry, at, item);
        items << item;
    }
    return items;
}

// Each item of the entry stays one: the events, the program, then one argument per item.
EventCommand checkedCommand(const QString &entry, QStringList items, bool withEvents)
{
    const EventCommand command = EventCommand::fromEntry(entry, withEvents);
    QStringList events;
    if (withEvents && !items.isEmpty())
        events = eventNameList(items.takeFirst());
    check(command.events == events);
    if (items.isEmpty() || (withEvents && events.isEmpty()))
        check(command.program.isEmpty() && command.arguments.isEmpty());
    else
        check(QStringList(command.program) + command.arguments == items);
    return command;
}

// Five characters the argument lacks, standing for the five values.
QString markersFor(const QString &argument)
{
    QString markers;
    for (ushort u = 0xe000; markers.size() < Placeholders.size(); ++u) {
        if (!argument.contains(QChar(u)))
            markers += QChar(u);
    }
    return markers;
}

// The expansion's first step, which the expansion of the rest repeats: %% gives one percent
// sign, a placeholder its value, any other character itself.
void checkFirstStep(const QString &argument, const QString &shape, const EventFacts &marked)
{
    if (argument.isEmpty()) {
        check(shape.isEmpty());
        return;
    }
    const auto rest = [&](int from) { return EventCommand::expanded(argument.mid(from), marked); };
    if (argument.startsWith(QLatin1String("%%"))) {
        check(shape == QLatin1Char('%') + rest(2));
        return;
    }
    const QStringList markers = values(marked);
    for (int k = 0; k < Placeholders.size(); ++k) {
        if (argument.at(0) == QLatin1Char('%') && QStringView(argument).mid(1).startsWith(Placeholders.at(k))) {
            check(shape == markers.at(k) + rest(1 + Placeholders.at(k).size()));
            return;
        }
    }
    check(shape == argument.at(0) + rest(1));
}

// The argument expanded with the facts is its expansion with markers for the values, each
// marker replaced by its value made inert: a value's own text is never read again.
void checkArgument(const QString &argument, const QString &expanded, const QStringList &inertValues)
{
    const QString markers = markersFor(argument);
    const EventFacts marked = factsOf({markers.at(0), markers.at(1), markers.at(2), markers.at(3), markers.at(4)});
    const QString shape = EventCommand::expanded(argument, marked);
    checkFirstStep(argument, shape, marked);
    QString rebuilt;
    for (const QChar c : shape) {
        const int k = markers.indexOf(c);
        if (k < 0)
            rebuilt += c;
        else
            rebuilt += inertValues.at(k);
    }
    check(expanded == rebuilt);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayList fields = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)).split('\0');
    QStringList texts;
    for (const QByteArray &field : fields)
        texts << QString::fromUtf8(field);
    const QString entry = texts.takeFirst();
    const EventFacts facts = factsOf(texts);
    QStringList inertValues;
    for (const QString &value : values(facts)) {
        checkInert(value, EventCommand::MaxValueChars);
        inertValues << inertText(value, EventCommand::MaxValueChars);
    }

    QString raw(int(size / 2), Qt::Uninitialized);
    std::memcpy(raw.data(), data, size_t(raw.size()) * 2);
    checkInert(raw, size > 0 ? data[0] : 0);

    const QStringList items = itemsOf(entry);
    checkedCommand(entry, items, false);
    const EventCommand command = checkedCommand(entry, items, true);
    const QStringList expanded = command.argumentsFor(facts);
    check(expanded.size() == command.arguments.size());
    for (int i = 0; i < expanded.size(); ++i)
        checkArgument(command.arguments.at(i), expanded.at(i), inertValues);
    return 0;
}
