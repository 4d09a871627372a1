#include "clientfixture.h"

#include <QLineEdit>
#include <QTest>

#include "stars/connectstat.h"
#include "support.h"

namespace {

// An event writes nothing back, so waiting for it leaves what the server received untouched.
const QByteArray SettleEvent = "Probe>Zendri _Settled\n";
const QString SettledEntry = QStringLiteral("event Settled 4 ");

} // namespace

ClientFixture::ClientFixture(const QByteArray &keys)
{
    writeFile(keyPath(), keys);
    stars.nodeNameField()->setText(QStringLiteral("Zendri"));
    stars.keyFileField()->setText(keyPath());
    stars.hostField()->setText(QStringLiteral("127.0.0.1"));
    stars.portField()->setText(QString::number(server.port()));
    connect(&stars, &Stars::log, this, [this](const QString &msg, const QColor &c) {
        log << (c == Qt::black ? msg : QStringLiteral("%1 (%2,%3,%4)").arg(msg).arg(c.red()).arg(c.green()).arg(c.blue()));
    });
    connect(&stars, &Stars::anyAsk, this, [this](const AMsg &msg) { record(QStringLiteral("ask"), msg); });
    connect(&stars, &Stars::anyAns, this, [this](const AMsg &msg) { record(QStringLiteral("ans"), msg); });
    connect(&stars, &Stars::anyEvent, this, [this](const AMsg &msg) { record(QStringLiteral("event"), msg); });
}

QString ClientFixture::keyPath() const
{
    return dir.filePath(QStringLiteral("Zendri.key"));
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

bool ClientFixture::sendAndSettle(const QByteArray &bytes)
{
    server.send(bytes + SettleEvent);
    const bool settled = QTest::qWaitFor([this] { return messages.contains(SettledEntry); }, Wait);
    messages.removeAll(SettledEntry);
    return settled;
}

void ClientFixture::record(const QString &kind, const AMsg &msg)
{
    messages << QStringLiteral("%1 %2 %3 %4").arg(kind, msg.cmd).arg(msg.cmdId).arg(msg.params.join(QLatin1Char(',')));
}
