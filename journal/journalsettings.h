#pragma once

#include <QProcessEnvironment>
#include <QString>

// JOURNAL [file] and JOURNAL_KEEP_DAYS n: where the alarm journal lies, and how long it keeps
// its entries. No file: no journal.
struct JournalSettings
{
    static constexpr int DefaultKeepDays = 90;

    // An absolute name.
    QString file;
    int keepDays = DefaultKeepDays;

    bool enabled() const { return !file.isEmpty(); }

    // $XDG_STATE_HOME/velmar/journal.db, or ~/.local/state/velmar/journal.db when the variable
    // is unset or not absolute: state that outlives a run.
    static QString defaultFile(const QProcessEnvironment &environment);
};
