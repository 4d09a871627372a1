// Loads arbitrary bytes as a configuration file and reads every key back.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>

#include "app/config.h"
#include "fuzzcheck.h"

namespace {

QString configPath()
{
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("fuzz.cfg"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile file(configPath());
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    Config store;
    store.loadFile(file.fileName());
    const QStringList keys{QStringLiteral("STARS_IP"), QStringLiteral("FLGON"), QStringLiteral("EVENT"),
                           QStringLiteral("")};
    for (const QString &key : keys) {
        store.valueOf(key, QStringLiteral("default"));
        store.exactValueOf(key);
        check(store.allValuesOf(key).size() == store.allRestsOf(key).size());
    }
    return 0;
}
