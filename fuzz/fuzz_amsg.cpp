// Parses arbitrary received byte lines, decoded as the receive loop decodes them, and checks
// the record's invariants.
#include <QByteArray>
#include <QtGlobal>

#include <cstdint>

#include "stars/amsg.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    AMsg msg;
    const bool valid = msg.parse(decodeReceivedLine(bytes));
    check(valid == msg.valid);
    check(!msg.line.contains(QLatin1Char('\n')) && !msg.line.contains(QLatin1Char('\r')));
    if (valid) {
        check(msg.type == Ans || msg.type == Event || msg.type == Ask);
        check(msg.route == msg.from + QLatin1Char('>') + msg.to);
        check(msg.params.isEmpty() || msg.params.first() == msg.val);
    } else {
        check(msg.type == NotSet);
    }
    check(msg.cmdId == CmdNotFound);
    encodeSentLine(msg.line);
    return 0;
}
