// Loads arbitrary bytes as a configuration file and reads every key back.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

#include "app/config.h"

namespace {

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

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
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    Config store;
    store.loadFile(file.fileName());
    const QStringList keys{QStringLiteral("STARS_IP"), QStringLiteral("FLGON"), QStringLiteral("EVENT"),
                           QStringLiteral("")};
    for (const QString &key : keys) {
        store.valueOf(key, QStringLiteral("default"));
        store.exactValueOf(key);
        if (store.allValuesOf(key).size() != store.allRestsOf(key).size())
            std::abort();
    }
    return 0;
}
