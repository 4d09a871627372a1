#include "relayload.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "floodserver.h"

namespace {

constexpr int WaitMs = 60000;
constexpr int ChunkBytes = 64 * 1024;
constexpr int ReadBytes = 256 * 1024;
const QString Publisher = QStringLiteral("Pub");

} // namespace

bool readLine(QTcpSocket &socket, QByteArray &line)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(WaitMs))
            return false;
    }
    line = socket.readLine();
    return true;
}

bool logIn(QTcpSocket &socket, quint16 port, const QByteArray &node)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    QByteArray line;
    if (!socket.waitForConnected(WaitMs) || !readLine(socket, line))
        return false;
    socket.write(node + ' ' + RelayKey + '\n');
    return readLine(socket, line) && line.startsWith("System>" + node + " Ok:");
}

namespace {

// Subscribes to the publisher, then reads until `events` forwarded lines have arrived.
bool subscribe(quint16 port, const QByteArray &node, int events, QSemaphore &ready,
               std::atomic<qint64> &lastNs)
{
    QTcpSocket socket;
    QByteArray line;
    const bool subscribed = logIn(socket, port, node)
        && socket.write(node + ">System flgon " + Publisher.toLatin1() + '\n') > 0
        && readLine(socket, line) && line.contains("@flgon Ok:");
    ready.release();
    if (!subscribed)
        return false;
    QByteArray buffer(ReadBytes, '\0');
    qint64 lines = 0;
    while (lines < events) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(WaitMs))
            return false;
        const qint64 got = socket.read(buffer.data(), ReadBytes);
        if (got < 0)
            return false;
        lines += std::count(buffer.constData(), buffer.constData() + got, '\n');
    }
    const qint64 now = steadyNowNs();
    qint64 seen = lastNs.load();
    while (now > seen && !lastNs.compare_exchange_weak(seen, now)) {
    }
    return true;
}

bool publish(quint16 port, int events)
{
    QTcpSocket socket;
    if (!logIn(socket, port, Publisher.toLatin1()))
        return false;
    QByteArray chunk;
    for (int i = 0; i < events; ++i) {
        chunk += "Pub>System _Tick " + QByteArray::number(i) + '\n';
        if (chunk.size() < ChunkBytes && i + 1 < events)
            continue;
        socket.write(chunk);
        chunk.clear();
        while (socket.bytesToWrite() > 0) {
            if (!socket.waitForBytesWritten(WaitMs))
                return false;
        }
    }
    return true;
}

} // namespace

quint16 startRelay(QProcess &relay, const QString &relayPath, const QString &keyDir, const QString &logFile)
{
    relay.setStandardErrorFile(logFile);
    relay.start(relayPath, { QStringLiteral("--port"), QStringLiteral("0"),
                             QStringLiteral("--keys"), keyDir });
    if (!relay.waitForStarted(WaitMs))
        return 0;
    while (!relay.canReadLine()) {
        if (!relay.waitForReadyRead(WaitMs))
            return 0;
    }
    static const QRegularExpression listening(QStringLiteral("listening on [^:]+:(\\d+)"));
    const auto match = listening.match(QString::fromLatin1(relay.readLine()));
    return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
}

bool writeKey(const QString &keyDir, const QString &node)
{
    QFile file(keyDir + QLatin1Char('/') + node + QStringLiteral(".key"));
    return file.open(QIODevice::WriteOnly) && file.write(RelayKey + '\n') > 0;
}

double relayEventsPerSecond(const QString &relayPath, int subscribers, int events, QString &error)
{
    QTemporaryDir keyDir;
    bool keysWritten = writeKey(keyDir.path(), Publisher);
    for (int s = 0; s < subscribers; ++s)
        keysWritten = writeKey(keyDir.path(), QStringLiteral("Sub%1").arg(s)) && keysWritten;
    if (!keysWritten) {
        error = QStringLiteral("cannot write key files");
        return -1;
    }
    QProcess relay;
    // The relay logs every connection on standard error; the table is what counts.
    const quint16 port = startRelay(relay, relayPath, keyDir.path(), QProcess::nullDevice());
    if (port == 0) {
        error = QStringLiteral("relay did not start");
        return -1;
    }

    QSemaphore ready;
    std::atomic<qint64> lastNs{0};
    std::atomic<int> received{0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int s = 0; s < subscribers; ++s) {
        const QByteArray node = "Sub" + QByteArray::number(s);
        threads.emplace_back(QThread::create([=, &ready, &lastNs, &received] {
            if (subscribe(port, node, events, ready, lastNs))
                ++received;
        }));
        threads.back()->start();
    }
    ready.acquire(subscribers);
    const qint64 startNs = steadyNowNs();
    const bool published = publish(port, events);
    for (auto &thread : threads)
        thread->wait();
    relay.kill();
    relay.waitForFinished(WaitMs);
    if (!published || received != subscribers) {
        error = QStringLiteral("%1 of %2 subscribers got every line").arg(int(received)).arg(subscribers);
        return -1;
    }
    return events / (double(lastNs - startNs) / 1e9);
}
