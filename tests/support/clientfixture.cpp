#include "clientfixture.h"

#include <QLineEdit>
#include <QTest>

#include "stars/connectstat.h"
#include "support.h"

// Texts are joined, not formatted with arg(): a "%1" in a log line or a message stays as it is.
ClientFixture::ClientFixture(const QByteArray &keys)
{
    writeFile(keyPath(), keys);
    stars.nodeNameField()->setText(QStringLiteral("Zendri"));
    stars.keyFileField()->setText(keyPath());
    stars.hostField()->setText(QStringLiteral("127.0.0.1"));
    stars.portField()->setText(QString::number(server.port()));
    connect(&stars, &Stars::log, this, [this](const QString &msg, const QColor &c) {
        const QString rgb = QStringLiteral(" (%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
        log << (c == Qt::black ? msg : msg + rgb);
    });
    const auto recorder = [this](const QString &kind) {
        return [this, kind](const AMsg &msg) {
            messages << kind + ' ' + msg.cmd + ' ' + QString::number(msg.cmdId) + ' ' + msg.params.join(',');
        };
    };
    connect(&stars, &Stars::anyAsk, this, recorder(QStringLiteral("ask")));
    connect(&stars, &Stars::anyAns, this, recorder(QStringLiteral("ans")));
    connect(&stars, &Stars::anyEvent, this, recorder(QStringLiteral("event")));
}

bool ClientFixture::logIn(const QByteArray &keyIndexLine)
{
    if (!server.hasClient())
        stars.connectToStars();
    if (!server.waitForClient(Wait))
        return false;
    server.clearReceived();
    server.send(keyIndexLine);
    if (!server.waitForLines(1, Wait))
        return false;
    server.send("System>" + stars.nodeNameField()->text().toUtf8() + " Ok:\n");
    const bool ready = QTest::qWaitFor([this] { return stars.connectionState() == ConnectStat::Connected; }, Wait);
    server.clearReceived();
    return ready;
}

QByteArrayList ClientFixture::written()
{
    const QByteArray own = stars.nodeNameField()->text().toLatin1() + ">Probe written";
    stars.sendCmd(QString(), QStringLiteral("Probe"), QStringLiteral("written"));
    if (!QTest::qWaitFor([this, &own] { return server.lines().contains(own); }, Wait))
        return {"(the client's own line did not arrive)"};
    QByteArrayList lines = server.lines();
    lines.removeAll(own);
    return lines;
}
