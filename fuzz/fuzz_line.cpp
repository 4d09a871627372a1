// Splits arbitrary lines with the configuration reader's line functions and checks that
// every item and remainder stays inside the line.
#include <QString>
#include <QtGlobal>

#include <cstdint>

#include "app/config.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));

    QString rest = line;
    int position = 0;
    while (!rest.isEmpty()) {
        QString item, itemAt;
        const QString next = takeItem(rest, item);
        const int nextPosition = takeItemAt(line, position, itemAt);
        check(item == itemAt);
        check(next.size() < rest.size() || next.isEmpty());
        check(line.endsWith(next));
        check(nextPosition >= position && nextPosition <= line.size());
        check(line.mid(nextPosition) == next);
        rest = next;
        position = nextPosition;
    }

    const QString code = cutComment(line);
    check(line.startsWith(code));
    check(isBlankLine(line) == code.simplified().isEmpty());
    return 0;
}
