#include "stars/stars.h"

#include <QFile>
#include <QTextStream>

namespace {

// Relative on purpose: the history lies in the working directory of the moment.
const QString HistoryFileName = QStringLiteral("OrvelHistory.dat");
const QString HostKey = QStringLiteral("A:");
const QString PortKey = QStringLiteral("P:");

} // namespace

void Stars::newHost()
{
    recordHistory(HostKey, hostLE->text());
}

void Stars::newPort()
{
    recordHistory(PortKey, portLE->text());
}

// Appends "KEY text" unless text equals the last recorded value of the same kind.
void Stars::recordHistory(const QString &key, const QString &text) const
{
    QString host;
    QString port;
    readHistory(host, port);
    const QString &last = key == HostKey ? host : port;
    if (text != last)
        appendHistory(key + QLatin1Char(' ') + text + QLatin1Char('\n'));
}

// The last recorded host and port; both stay as they were when there is no history.
void Stars::readHistory(QString &host, QString &port) const
{
    QFile file(HistoryFileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    host.clear();
    port.clear();
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList parts = in.readLine().simplified().split(QLatin1Char(' '));
        if (parts.size() < 2)
            continue;
        const QString key = parts.at(0).toUpper();
        if (key == HostKey)
            host = parts.at(1);
        else if (key == PortKey)
            port = parts.at(1);
    }
}

// One open, write and close per entry; an entry that cannot be written is lost.
void Stars::appendHistory(const QString &entry) const
{
    QFile file(HistoryFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << entry;
}
