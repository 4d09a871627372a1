#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdlib>

// Qt's messages would only slow a fuzz run down; the code that formats them still runs.
inline void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// A broken invariant aborts, which libFuzzer reports as a finding with its input.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}
