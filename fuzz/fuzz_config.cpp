// Reads arbitrary bytes as a configuration file, through the reader that loadFile uses on the
// opened file, and reads every key back.
#include <QBuffer>
#include <QByteArray>
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
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    // Opened as loadFile opens the file: the text mode drops carriage returns as it does there.
    QBuffer file(&bytes);
    check(file.open(QIODevice::ReadOnly | QIODevice::Text));

    Config store;
    store.load(file);
    const QStringList keys{QStringLiteral("STARS_IP"), QStringLiteral("FLGON"), QStringLiteral("EVENT"),
                           QStringLiteral("")};
    for (const QString &key : keys) {
        store.valueOf(key, QStringLiteral("default"));
        store.exactValueOf(key);
        check(store.allValuesOf(key).size() == store.allRestsOf(key).size());
    }
    return 0;
}
