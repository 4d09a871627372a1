#pragma once

#include <QHash>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

class QIODevice;

// Debug output about the configuration (velmar.config).
Q_DECLARE_LOGGING_CATEGORY(lcConfig)

// Takes the first white-space-separated or double-quoted item off `line` into
// `item` and returns the remainder of the line after that item.
QString takeItem(const QString &line, QString &item);

// Index-based form of takeItem for callers that walk one line item by item:
// takes the item that starts at or after `from` and returns the index where the
// remainder begins (line.size() when the line is used up). Avoids copying the
// remainder on every call.
int takeItemAt(const QString &line, int from, QString &item);

// The line without its comment: everything before the first '#' outside quotes.
QString cutComment(const QString &line);

// True when the line holds nothing but white space and a comment.
bool isBlankLine(const QString &line);

// The blank-separated words of an item that lists event names, such as "Done Finished".
QStringList eventNameList(const QString &names);

// The configuration store: command-line options first, then the lines of one file.
class Config
{
public:
    void addEntry(const QString &name, const QString &value, const QString &rest);
    void parseArgs(int argc, char **argv);
    void loadFile(const QString &fileName);
    // Reads the entries of a configuration text from a device open for reading as text.
    void load(QIODevice &device);

    QString valueOf(const QString &key, const QString &defaultValue = QString()) const;
    QString exactValueOf(const QString &name, const QString &defaultValue = QString()) const;
    bool hasExact(const QString &name) const;
    QStringList allValuesOf(const QString &key) const;
    QStringList allRestsOf(const QString &key) const;

private:
    QStringList column(const QString &key, const QStringList &cells) const;

    // Exact view: the value of the first entry of every distinct name.
    QHash<QString, QString> values;
    // Case-insensitive view: the value of the first entry of every distinct upper-cased name.
    QHash<QString, QString> upperValues;
    // Full view: every entry in insertion order.
    QStringList allUpperNames;
    QStringList allValues;
    QStringList allRests;
};

extern Config config;
