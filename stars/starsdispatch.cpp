#include "stars/stars.h"

void Stars::initCmds()
{
    commands.add(CmdHello, QStringLiteral("Hello"), QStringLiteral("Answer greeting message"));
    commands.add(CmdHelp, QStringLiteral("Help"), QStringLiteral("Show help message"));
    commands.add(CmdIsBusy, QStringLiteral("IsBusy"), QStringLiteral("Answer if Zendri is busy"));
}

void Stars::processMsg(const QString &line)
{
    AMsg msg;
    msg.parse(line);
    msg.cmdId = commands.idOf(msg.cmd);
    if (!msg.valid)
        return;

    // Only asks reach the built-in handlers: answering a reply could start an endless
    // exchange between two clients, so built-in words in replies and events are passed on.
    if (msg.type == Ask) {
        switch (msg.cmdId) {
        case CmdHello:
            sendAns(msg, QStringLiteral("Hello! I am ") + nameOnStarsLE->text()
                             + QStringLiteral(". Nice to meet you!"));
            return;
        case CmdHelp:
            answerHelp(msg);
            return;
        case CmdIsBusy:
            sendAns(msg, isBusy ? QStringLiteral("1") : QStringLiteral("0"));
            return;
        default:
            break;
        }
    }

    switch (msg.type) {
    case Ans:
        emit anyAns(msg);
        break;
    case Event:
        emit anyEvent(msg);
        break;
    case Ask:
        emit anyAsk(msg);
        break;
    default:
        sendAns(msg, QStringLiteral("Er: Unknown Command"));
        break;
    }
}

void Stars::answerHelp(const AMsg &msg)
{
    if (msg.params.isEmpty()) {
        sendAns(msg, QStringLiteral("Commands : ") + commands.cmdList());
        return;
    }
    const QString &word = msg.val;
    if (commands.idOf(word) == CmdNotFound)
        sendAns(msg, QStringLiteral("Er: Command [") + word + QStringLiteral("] not found."));
    else
        sendAns(msg, QStringLiteral(": ") + commands.helpOf(word));
}
