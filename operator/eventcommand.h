#pragma once

#include <QString>
#include <QStringList>

// What an event gives to the placeholders of a command's arguments.
struct EventFacts
{
    QString sender;
    QString event;
    QString text;  // the event's parameters, joined by single blanks
    QString row;   // the ringing row's events; empty for a run on the event itself
    QString time;  // hh:mm:ss
};

// One configured program and its arguments, as a RUN_ON_RING or RUN_ON_EVENT entry gives it.
// Each argument stays one argument of the program: the program runs without a shell, and the
// placeholders are replaced inside the argument, never split it.
class EventCommand
{
public:
    // A replaced value is cut at this many characters.
    static constexpr int MaxValueChars = 1024;

    // Reads "[events] program [argument ...]", the events only `withEvents`; the command has no
    // program when the entry names none.
    static EventCommand fromEntry(const QString &entry, bool withEvents);

    // `argument` with %sender, %event, %text, %row and %time replaced and %% as one percent
    // sign. Replaced values are not read again, so a "%sender" in a sender's name stays text.
    static QString expanded(const QString &argument, const EventFacts &facts);

    QStringList argumentsFor(const EventFacts &facts) const;

    QStringList events;
    QString program;
    QStringList arguments;
};

// A text from the network made fit for one argument or one log line: every control character
// a blank, no more than `maxChars` characters, and no half of a surrogate pair at the cut.
QString inertText(const QString &text, int maxChars);
