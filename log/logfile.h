#pragma once

#include <QString>

// Appends log lines to a file that is opened and closed around every line, so each line is
// on disk when `append` returns and the file may be moved away between lines. A line that
// cannot be written whole is cut off again: the file only ever holds whole lines.
class LogFile
{
public:
    // What an append changed about the writing as a whole.
    enum class Change { None, Failed, Resumed };

    // Appends `line` and a line feed to the file `fileName`. A file that cannot be opened is
    // skipped and changes nothing.
    Change append(const QString &fileName, const QString &line);
    // Why the line that started the failure could not be written.
    QString failure() const { return reason; }

private:
    // Records whether the last line was written and tells what that changed.
    Change note(bool written, const QString &why);

    bool failing = false;
    QString reason;
};
