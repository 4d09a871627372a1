#include "floodserver.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

#include <chrono>

namespace {

constexpr int WaitMs = 60000;
constexpr int ChunkBytes = 64 * 1024;
const QByteArray EventPrefix = QByteArrayLiteral("Dev>");
const QByteArray AnswerMarker = QByteArrayLiteral(" @Hello ");

} // namespace

qint64 steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FloodServer::FloodServer(const QString &clientNode, QObject *parent)
    : QThread(parent)
    , node(clientNode.toLatin1())
{
}

FloodServer::~FloodServer()
{
    stopping = true;
    queued.release();
    wait();
}

quint16 FloodServer::startListening()
{
    start();
    listening.acquire();
    return port;
}

void FloodServer::startBurst(int events, int asks)
{
    {
        const QMutexLocker lock(&mutex);
        bursts.enqueue({ events, asks, 0, 0, eventLinesToQueue });
    }
    queued.release();
}

void FloodServer::startStorm(int events, int perSecond, int askEvery)
{
    {
        const QMutexLocker lock(&mutex);
        bursts.enqueue({ events, events / askEvery, perSecond, askEvery, eventLinesToQueue });
    }
    queued.release();
}

qint64 FloodServer::longestAnswerNs() const
{
    return longestAnswer;
}

void FloodServer::sendForEachEvent(const QByteArray &lines)
{
    const QMutexLocker lock(&mutex);
    eventLinesToQueue = lines;
}

QByteArray FloodServer::eventLines(const Burst &burst, int i) const
{
    if (!burst.eventLines.isEmpty())
        return burst.eventLines;
    return EventPrefix + node + " _Tick " + QByteArray::number(i) + '\n';
}

void FloodServer::run()
{
    QTcpServer server;
    if (server.listen(QHostAddress::LocalHost, 0))
        port = server.serverPort();
    listening.release();
    if (port == 0)
        return;
    if (!server.waitForNewConnection(WaitMs)) {
        emit failed(QStringLiteral("no client connected"));
        return;
    }
    QTcpSocket *socket = server.nextPendingConnection();
    if (!logIn(*socket))
        return;
    while (true) {
        queued.acquire();
        if (stopping)
            break;
        Burst burst;
        {
            const QMutexLocker lock(&mutex);
            burst = bursts.dequeue();
        }
        if (!(burst.perSecond > 0 ? runStorm(*socket, burst) : runBurst(*socket, burst)))
            break;
    }
    socket->abort();
}

bool FloodServer::readLine(QTcpSocket &socket, QByteArray &line)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(WaitMs))
            return false;
    }
    line = socket.readLine();
    return true;
}

bool FloodServer::logIn(QTcpSocket &socket)
{
    QByteArray line;
    socket.write("0\n");
    if (!readLine(socket, line)) {
        emit failed(QStringLiteral("no key line"));
        return false;
    }
    socket.write("System>" + node + " Ok:\n");
    while (!line.contains(" flgon ")) {
        if (!readLine(socket, line)) {
            emit failed(QStringLiteral("no subscription"));
            return false;
        }
    }
    emit subscribed(steadyNowNs());
    return true;
}

// Counts the complete answer lines that have arrived.
int FloodServer::takeAnswers(QTcpSocket &socket)
{
    int answers = 0;
    while (socket.canReadLine()) {
        if (socket.readLine().contains(AnswerMarker))
            ++answers;
    }
    return answers;
}

bool FloodServer::send(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(WaitMs)) {
            emit failed(QStringLiteral("client stopped reading"));
            return false;
        }
    }
    return true;
}

// Answers come in the order of their asks.
void FloodServer::timeAnswers(QTcpSocket &socket, QQueue<qint64> &sentNs)
{
    while (socket.canReadLine()) {
        if (socket.readLine().contains(AnswerMarker) && !sentNs.isEmpty())
            longestAnswer = qMax<qint64>(longestAnswer, steadyNowNs() - sentNs.dequeue());
    }
}

// Each line goes out at its time; meanwhile the answers that came are timed.
bool FloodServer::runStorm(QTcpSocket &socket, const Burst &storm)
{
    // Without it each small line waits for the client's delayed acknowledgement.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    longestAnswer = 0;
    QQueue<qint64> sentNs;
    const qint64 startNs = steadyNowNs();
    const qint64 periodNs = 1000000000LL / storm.perSecond;
    for (int i = 0; i < storm.events; ++i) {
        const qint64 dueNs = startNs + i * periodNs;
        for (qint64 now = steadyNowNs(); now < dueNs; now = steadyNowNs()) {
            socket.waitForReadyRead(0);
            timeAnswers(socket, sentNs);
            QThread::usleep(qMin<qint64>(100, (dueNs - now) / 1000));
        }
        QByteArray lines = eventLines(storm, i);
        const bool ask = (i + 1) % storm.askEvery == 0;
        if (ask)
            lines += EventPrefix + node + " Hello\n";
        if (ask)
            sentNs.enqueue(steadyNowNs());
        if (!send(socket, lines))
            return false;
        timeAnswers(socket, sentNs);
    }
    while (!sentNs.isEmpty()) {
        if (!socket.waitForReadyRead(WaitMs)) {
            emit failed(QStringLiteral("answers missing: %1 of %2").arg(sentNs.size()).arg(storm.asks));
            return false;
        }
        timeAnswers(socket, sentNs);
    }
    emit burstDone(steadyNowNs() - startNs);
    return true;
}

bool FloodServer::runBurst(QTcpSocket &socket, const Burst &burst)
{
    const qint64 startNs = steadyNowNs();
    int answers = 0;
    QByteArray chunk;
    chunk.reserve(ChunkBytes + 128);
    const int total = burst.events + burst.asks;
    for (int i = 0; i < total; ++i) {
        if (i < burst.events)
            chunk += eventLines(burst, i);
        else
            chunk += EventPrefix + node + " Hello\n";
        if (chunk.size() < ChunkBytes && i + 1 < total)
            continue;
        if (!send(socket, chunk))
            return false;
        chunk.clear();
        answers += takeAnswers(socket);
    }
    while (answers < burst.asks) {
        if (!socket.waitForReadyRead(WaitMs)) {
            emit failed(QStringLiteral("answers missing: %1 of %2").arg(answers).arg(burst.asks));
            return false;
        }
        answers += takeAnswers(socket);
    }
    emit burstDone(steadyNowNs() - startNs);
    return true;
}
