#include "log/logfile.h"

#include <QByteArray>
#include <QFile>

namespace {

// QFile reports a short write only by its count; writing the rest makes the system call
// fail and gives the reason.
bool writeAll(QFile &file, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

} // namespace

LogFile::Change LogFile::append(const QString &fileName, const QString &line)
{
    // An empty name cannot be opened; skipping it spares Qt's warning about it.
    if (fileName.isEmpty())
        return Change::None;
    QFile file(fileName);
    // Unbuffered, so that a failed write shows here and not unnoticed at close.
    if (!file.open(QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered))
        return Change::None;
    const qint64 lengthBefore = file.size();
    if (writeAll(file, (line + QLatin1Char('\n')).toLocal8Bit()))
        return note(true, QString());
    const QString why = file.errorString();
    // Only a regular file grows and can be cut back; resizing a device only earns a warning.
    if (file.size() > lengthBefore)
        file.resize(lengthBefore);
    return note(false, why);
}

LogFile::Change LogFile::note(bool written, const QString &why)
{
    if (written != failing)
        return Change::None;
    failing = !written;
    if (failing)
        reason = why;
    return failing ? Change::Failed : Change::Resumed;
}
