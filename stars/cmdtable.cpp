#include "stars/cmdtable.h"

#include <QStringList>

#include <algorithm>

#include "stars/amsg.h"
#include "stars/starslog.h"

void CmdTable::add(int id, const QString &msg, const QString &help)
{
    for (const CmdEntry &entry : qAsConst(entries)) {
        if (entry.id == id) {
            qCDebug(lcStars) << "Duplicated id" << id << msg << help;
            return;
        }
        if (entry.msg == msg) {
            qCDebug(lcStars) << "Duplicated msg" << id << msg << help;
            return;
        }
    }
    entries.append({id, msg, help});
}

const CmdEntry *CmdTable::findMsg(const QString &msg) const
{
    const auto it = std::find_if(entries.cbegin(), entries.cend(),
                                 [&msg](const CmdEntry &entry) { return entry.msg == msg; });
    return it == entries.cend() ? nullptr : &*it;
}

const CmdEntry *CmdTable::findId(int id) const
{
    const auto it = std::find_if(entries.cbegin(), entries.cend(),
                                 [id](const CmdEntry &entry) { return entry.id == id; });
    return it == entries.cend() ? nullptr : &*it;
}

int CmdTable::idOf(const QString &msg) const
{
    const CmdEntry *entry = findMsg(msg);
    return entry ? entry->id : CmdNotFound;
}

QString CmdTable::helpOf(const QString &msg) const
{
    const CmdEntry *entry = findMsg(msg);
    return entry ? entry->help : QString();
}

QString CmdTable::helpOfId(int id) const
{
    const CmdEntry *entry = findId(id);
    return entry ? entry->help : QString();
}

QString CmdTable::cmdList() const
{
    QStringList words;
    for (const CmdEntry &entry : entries) {
        // Words that begin with a type marker can never arrive as an ask.
        const bool hidden = entry.msg.isEmpty() || entry.msg.startsWith(QLatin1Char('@'))
                            || entry.msg.startsWith(QLatin1Char('_'));
        if (!hidden)
            words.append(entry.msg);
    }
    return words.join(QLatin1Char(' '));
}
