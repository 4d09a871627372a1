#include "app/config.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTextStream>

#include <algorithm>

Q_LOGGING_CATEGORY(lcConfig, "velmar.config")

Config config;

namespace {

const QChar Quote = QLatin1Char('"');

int firstNonSpace(const QString &line, int from)
{
    const int size = line.size();
    while (from < size && line.at(from).isSpace())
        ++from;
    return from;
}

int firstSpace(const QString &line, int from)
{
    const int size = line.size();
    while (from < size && !line.at(from).isSpace())
        ++from;
    return from;
}

// The rest of a line as a message about one of its items shows it. Bounded, because every odd
// item of a line reports: with the whole rest, a received line of many such items cost time
// that grew with the square of its length.
QString shownRest(const QString &line, int from)
{
    constexpr int MaxShownChars = 200;
    const QString rest = line.mid(from, MaxShownChars);
    return line.size() - from > MaxShownChars ? rest + QStringLiteral("...") : rest;
}

bool isOption(const QString &argument)
{
    return argument.startsWith(QLatin1Char('-'));
}

} // namespace

int takeItemAt(const QString &line, int from, QString &item)
{
    const int size = line.size();
    const int begin = firstNonSpace(line, from);
    if (begin >= size) {
        item.clear();
        return size;
    }
    if (line.at(begin) == Quote) {
        const int end = line.indexOf(Quote, begin + 1);
        if (end >= 0) {
            item = line.mid(begin + 1, end - begin - 1);
            return end + 1;
        }
        qCDebug(lcConfig).noquote()
            << QStringLiteral("In a line [%1] item is started from quote but not ended by quote").arg(shownRest(line, from));
        item = line.mid(begin + 1);
        return size;
    }
    const int end = firstSpace(line, begin);
    if (line.at(end - 1) == Quote)
        qCDebug(lcConfig).noquote()
            << QStringLiteral("In a line [%1] item is started from not quote but ended by quote").arg(shownRest(line, from));
    item = line.mid(begin, end - begin);
    return end;
}

QString takeItem(const QString &line, QString &item)
{
    const int remainder = takeItemAt(line, 0, item);
    return remainder < line.size() ? line.mid(remainder) : QString();
}

// Double quotes and apostrophes toggle one shared flag: a '#' inside either kind is text.
QString cutComment(const QString &line)
{
    bool insideQuotes = false;
    const int size = line.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = line.at(i);
        if (c == Quote || c == QLatin1Char('\''))
            insideQuotes = !insideQuotes;
        else if (c == QLatin1Char('#') && !insideQuotes)
            return line.left(i);
    }
    return line;
}

bool isBlankLine(const QString &line)
{
    const QString code = cutComment(line);
    return std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c.isSpace(); });
}

QStringList eventNameList(const QString &names)
{
    // simplified() has already turned every run of white space into one blank.
    return names.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void Config::addEntry(const QString &name, const QString &value, const QString &rest)
{
    const QString upper = name.toUpper();
    // The first entry of a name wins.
    if (!values.contains(name))
        values.insert(name, value);
    if (!upperValues.contains(upper))
        upperValues.insert(upper, value);
    allUpperNames.append(upper);
    allValues.append(value);
    allRests.append(rest);
}

// Every argument that starts with '-' is an option; the arguments up to the next option are its own.
void Config::parseArgs(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromUtf8(argv[i]));

    int a = 0;
    while (a < arguments.size()) {
        if (!isOption(arguments.at(a))) {
            ++a;
            continue;
        }
        int next = a + 1;
        QStringList collected;
        while (next < arguments.size() && !isOption(arguments.at(next)))
            collected.append(arguments.at(next++));
        addEntry(arguments.at(a), collected.value(0), collected.join(QLatin1Char(' ')));
        a = next;
    }
}

void Config::loadFile(const QString &fileName)
{
    QFile file(fileName);
    // An empty name is checked first so that QFile does not add a warning of its own.
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCDebug(lcConfig).noquote() << QStringLiteral("Can't open config file : ") + fileName;
        return;
    }
    load(file);
}

void Config::load(QIODevice &device)
{
    QTextStream stream(&device);
    while (!stream.atEnd()) {
        const QString line = cutComment(stream.readLine());
        if (isBlankLine(line))
            continue;
        QString name, value;
        const QString rest = takeItem(line, name);
        takeItem(rest, value);
        addEntry(name, value, rest);
    }
}

QString Config::valueOf(const QString &key, const QString &defaultValue) const
{
    return upperValues.value(key.toUpper(), defaultValue);
}

QString Config::exactValueOf(const QString &name, const QString &defaultValue) const
{
    return values.value(name, defaultValue);
}

bool Config::hasExact(const QString &name) const
{
    return values.contains(name);
}

QStringList Config::allValuesOf(const QString &key) const
{
    return column(key, allValues);
}

QStringList Config::allRestsOf(const QString &key) const
{
    return column(key, allRests);
}

// The elements of one column of the full view at every entry whose upper-cased name is the key's.
QStringList Config::column(const QString &key, const QStringList &cells) const
{
    const QString upper = key.toUpper();
    QStringList result;
    for (int i = 0; i < allUpperNames.size(); ++i) {
        if (allUpperNames.at(i) == upper)
            result.append(cells.at(i));
    }
    return result;
}
