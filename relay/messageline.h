#pragma once

#include <QLatin1String>

// One message line as the relay reads it: the bytes taken as Latin-1, items separated by
// white space or enclosed in double quotes, the route split at its first '>' and each side
// of it at its first '.'. The views point into the parsed line.
struct MessageLine
{
    enum class Kind { Ask, Answer, Event };
    enum class Fault { None, Blank, NoRoute, NoCommand };

    static MessageLine parse(QLatin1String line);

    Fault fault = Fault::None;
    Kind kind = Kind::Ask;
    QLatin1String from;
    QLatin1String fromNode;
    QLatin1String to;
    QLatin1String toNode;
    QLatin1String word;     // the command word without its type marker
    QLatin1String argument; // the first item after the command item
    QLatin1String tail;     // the command item and everything after it, as written
};
