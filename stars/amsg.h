#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

// The type marker of a message's command item.
enum MsgType : int {
    Ans = 0,    // "@": an answer
    Event = 1,  // "_": an event
    Ask = 2,    // no marker: a command for the addressed node
    NotSet = 3
};

// Command numbers of the client's command table.
enum CmdId : int {
    CmdHello = 0,
    CmdHelp = 1,
    CmdIsBusy = 2,
    CmdNotFound = 4
};

// One received Stars line, parsed.
class AMsg
{
public:
    bool parse(const QString &line);

    bool valid = false;
    QString line;
    QString route;
    QString body;
    QString from;
    QString to;
    QString fromNode;
    QString fromCh;
    QString fromFull;
    QString toNode;
    QString toCh;
    QString toFull;
    QString cmd;
    QString val;
    QStringList params;
    int type = NotSet;
    int cmdId = CmdNotFound;
};

Q_DECLARE_METATYPE(AMsg)

// The text of one received line: UTF-8, ending at the first NUL byte.
QString decodeReceivedLine(const QByteArray &bytes);

// The bytes of one line to send: Latin-1 ('?' for anything outside it), then one LF.
QByteArray encodeSentLine(const QString &line);
