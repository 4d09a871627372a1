#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>

// The log-in keys of the nodes: one file "<node>.key" per node in one directory, one key
// per line. Files are read afresh at every check, so keys can be changed while running.
class KeyStore
{
public:
    enum class Verdict { Accepted, UnknownNode, NoKeys, WrongKey };

    static constexpr int MaxNodeNameLength = 64;

    explicit KeyStore(const QString &directory);

    Verdict check(QLatin1String node, qint64 index, const QString &key) const;

    // Letters, digits, '_' and '-' only: a name that is safe as a file name.
    static bool isSafeNodeName(QLatin1String node);
    // Reads every line simplified, empty ones included; false when the file cannot be opened.
    static bool readKeys(const QString &path, QStringList &keys);
    // The non-negative remainder of the index modulo the key count.
    static int position(qint64 index, int count);

private:
    const QString m_directory;
};
