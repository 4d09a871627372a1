#include "stars/stars.h"

#include <QTcpSocket>

#include "stars/connectstat.h"

namespace {

const QString SystemNode = QStringLiteral("System");

} // namespace

// Lines are joined by plain concatenation: a "%1" inside a value must go out unchanged.
QString Stars::sendMsg(const QString &fromNode, const QString &fromCh, const QString &to,
                       const QString &body)
{
    QString line = fromNode;
    if (!fromCh.isEmpty())
        line += QLatin1Char('.') + fromCh;
    line += QLatin1Char('>') + to + QLatin1Char(' ') + body;

    if (connectStat->state() != ConnectStat::Connected)
        return QStringLiteral("Stars is not ready (") + line + QLatin1Char(')');
    socket->write(encodeSentLine(line));
    if (logSendingMsg)
        emit log(QStringLiteral("---- Snd ") + line, sendColor);
    return line;
}

QString Stars::sendFromMe(const QString &fromCh, const QString &to, const QString &body)
{
    return sendMsg(nameOnStarsLE->text(), fromCh, to, body);
}

void Stars::sendCmd(const QString &fromCh, const QString &to, const QString &cmd)
{
    sendCmdV(fromCh, to, cmd, QString());
}

void Stars::sendCmdV(const QString &fromCh, const QString &to, const QString &cmd,
                     const QString &val)
{
    QString body = cmd;
    if (!val.isEmpty())
        body += QLatin1Char(' ') + val;
    emit sendingAskToStars(sendFromMe(fromCh, to, body));
}

void Stars::sendEvent(const QString &fromCh, const QString &event)
{
    emit sendingEventToStars(sendFromMe(fromCh, SystemNode, QLatin1Char('_') + event));
}

// A reply goes out in the name of the addressed node and channel, back to the sender as written.
void Stars::sendAns(const AMsg &aMsg, const QString &ans)
{
    const QString body = QLatin1Char('@') + aMsg.cmd + QLatin1Char(' ') + ans;
    emit sendingAnsToStars(sendMsg(aMsg.toNode, aMsg.toCh, aMsg.from, body));
}

void Stars::sendOk(const AMsg &aMsg)
{
    sendAns(aMsg, QStringLiteral("Ok:"));
}

void Stars::replyParamCount(const AMsg &aMsg, int n)
{
    sendAns(aMsg, QStringLiteral("Er: Number of Params shuld be ") + QString::number(n));
}

bool Stars::checkParamsEq(const AMsg &aMsg, int n)
{
    if (aMsg.params.size() == n)
        return true;
    replyParamCount(aMsg, n);
    return false;
}

int Stars::checkParamsMax(const AMsg &aMsg, int n)
{
    if (aMsg.params.size() <= n)
        return aMsg.params.size();
    replyParamCount(aMsg, n);
    return -1;
}

int Stars::checkParamsMin(const AMsg &aMsg, int n)
{
    if (aMsg.params.size() >= n)
        return aMsg.params.size();
    replyParamCount(aMsg, n);
    return -1;
}
