#include "keystore.h"

#include <QDir>
#include <QFile>

KeyStore::KeyStore(const QString &directory)
    : m_directory(directory)
{
}

KeyStore::Verdict KeyStore::check(QLatin1String node, qint64 index, const QString &key) const
{
    QStringList keys;
    if (!readKeys(QDir(m_directory).filePath(node + QLatin1String(".key")), keys))
        return Verdict::UnknownNode;
    if (keys.isEmpty())
        return Verdict::NoKeys;
    return keys.at(position(index, keys.size())) == key ? Verdict::Accepted : Verdict::WrongKey;
}

bool KeyStore::isSafeNodeName(QLatin1String node)
{
    if (node.isEmpty() || node.size() > MaxNodeNameLength)
        return false;
    for (const char ch : node) {
        const bool safe = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')
                || (ch >= '0' && ch <= '9') || ch == '_' || ch == '-';
        if (!safe)
            return false;
    }
    return true;
}

bool KeyStore::readKeys(const QString &path, QStringList &keys)
{
    keys.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // UTF-8 whatever the locale, with or without a byte order mark.
    while (!file.atEnd())
        keys.append(QString::fromUtf8(file.readLine()).simplified());
    if (!keys.isEmpty() && keys.first().startsWith(QChar::ByteOrderMark))
        keys.first() = keys.first().mid(1).simplified();
    return true;
}

int KeyStore::position(qint64 index, int count)
{
    const qint64 remainder = index % count;
    return int(remainder < 0 ? remainder + count : remainder);
}
