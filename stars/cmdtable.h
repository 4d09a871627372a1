#pragma once

#include <QString>
#include <QVector>

// One registered command: its number, its word in a received line and its help text.
struct CmdEntry
{
    int id;
    QString msg;
    QString help;
};

// The ordered list of commands a node knows; ids and words are unique.
class CmdTable
{
public:
    // Appends the entry unless its id or its word is taken (then writes a debug line).
    void add(int id, const QString &msg, const QString &help);
    // CmdNotFound when no entry has that word.
    int idOf(const QString &msg) const;
    QString helpOf(const QString &msg) const;
    QString helpOfId(int id) const;
    // The listed words, joined by single blanks; empty words and words that begin
    // with "@" or "_" are left out.
    QString cmdList() const;

private:
    const CmdEntry *findMsg(const QString &msg) const;
    const CmdEntry *findId(int id) const;

    QVector<CmdEntry> entries;
};
