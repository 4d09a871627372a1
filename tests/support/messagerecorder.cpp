#include "messagerecorder.h"

#include <QTest>

#include "stars/stars.h"

MessageRecorder::MessageRecorder(Stars *stars)
    : QObject(stars)
{
    // By signature, the way the main window connects.
    const bool ok = connect(stars, SIGNAL(anyAsk(const AMsg &)), this, SLOT(ask(const AMsg &)))
                    && connect(stars, SIGNAL(anyAns(AMsg)), this, SLOT(ans(AMsg)))
                    && connect(stars, SIGNAL(anyEvent(const AMsg &)), this, SLOT(event(const AMsg &)));
    if (!ok)
        qWarning("MessageRecorder: cannot connect to the Stars signals");
}

bool MessageRecorder::waitFor(const QString &entry, int ms) const
{
    return QTest::qWaitFor([this, &entry] { return entries.contains(entry); }, ms);
}

void MessageRecorder::clear()
{
    entries.clear();
    messages.clear();
}

void MessageRecorder::ask(const AMsg &msg)
{
    record(QStringLiteral("ask"), msg);
}

void MessageRecorder::ans(const AMsg &msg)
{
    record(QStringLiteral("ans"), msg);
}

void MessageRecorder::event(const AMsg &msg)
{
    record(QStringLiteral("event"), msg);
}

void MessageRecorder::record(const QString &kind, const AMsg &msg)
{
    QString entry = kind + QLatin1Char(' ') + msg.cmd + QLatin1Char(' ') + QString::number(msg.cmdId);
    if (!msg.params.isEmpty())
        entry += QLatin1Char(' ') + msg.params.join(QLatin1Char(','));
    entries.append(entry);
    messages.append(msg);
}
