#include "stars/stars.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QTcpSocket>
#include <QTextStream>

#include "app/connectbysignature.h"
#include "stars/connectstat.h"
#include "stars/keepalive.h"
#include "stars/starslog.h"

namespace {

const QColor SendColor(0, 200, 120);
const QColor LogColor(0, 0, 0);
// One run of receive() handles at most this much, so a flood cannot stall the window.
constexpr qint64 ReadBufferSize = 64 * 1024;
// A refusal is passed on at most this long: a hostile server may send megabytes.
constexpr int MaxReportedReply = 512;

} // namespace

Stars::Stars(QWidget *parent)
    : QFrame(parent)
    , sendColor(SendColor)
{
    qRegisterMetaType<LinkState>();
    setupUi(this);
    logSendingMsg = false;
    initCmds();

    connectStat = new ConnectStat;
    connectStat->setWidgets(statusL, connectB);
    connectStat->setState(ConnectStat::Disconnected);
    connectBySignature(connectStat, SIGNAL(askConnect()), this, SLOT(connectToStars()));
    connectBySignature(connectStat, SIGNAL(askDisconnect()), this, SLOT(connectToStars()));

    socket = new QTcpSocket;
    socket->setReadBufferSize(ReadBufferSize);
    connectBySignature(socket, SIGNAL(connected()), this, SLOT(connectedToStars()));
    connectBySignature(socket, SIGNAL(disconnected()), this, SLOT(disconnectedFromStars()));
    connectBySignature(socket, SIGNAL(readyRead()), this, SLOT(receive()));
    connect(socket, &QAbstractSocket::stateChanged, this, &Stars::updateLinkState);
    // A failed attempt is not the user's business, but a developer wants to know why.
    connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        qCDebug(lcStars).noquote() << "socket error:" << socket->errorString();
        emit linkError(error, socket->errorString());
    });

    connectBySignature(hostLE, SIGNAL(editingFinished()), this, SLOT(newHost()));
    connectBySignature(portLE, SIGNAL(editingFinished()), this, SLOT(newPort()));
    isBusy = false;
}

Stars::~Stars()
{
    if (connectStat->state() == ConnectStat::Connected)
        socket->close();
    socket->deleteLater();
    connectStat->deleteLater();
}

QLineEdit *Stars::hostField() const
{
    return hostLE;
}

QLineEdit *Stars::portField() const
{
    return portLE;
}

QLineEdit *Stars::nodeNameField() const
{
    return nameOnStarsLE;
}

QLineEdit *Stars::keyFileField() const
{
    return keyFileLE;
}

int Stars::connectionState() const
{
    return connectStat->state();
}

LinkState Stars::linkState() const
{
    return currentLinkState;
}

QString Stars::address() const
{
    return hostLE->text() + QLatin1Char(':') + portLE->text();
}

bool Stars::enableKeepAlive(int timeoutMs)
{
    return ::enableKeepAlive(socket, timeoutMs);
}

void Stars::abortConnection()
{
    socket->abort();
}

// The log-in decides once the connection is up; a closing connection still counts as up.
void Stars::updateLinkState()
{
    LinkState next = LinkState::Connecting;
    if (connectStat->state() == ConnectStat::Connected)
        next = LinkState::LoggedIn;
    else if (socket->state() == QAbstractSocket::UnconnectedState)
        next = LinkState::Down;
    else if (socket->state() == QAbstractSocket::ConnectedState || socket->state() == QAbstractSocket::ClosingState)
        next = LinkState::LoggingIn;
    if (next == currentLinkState)
        return;
    currentLinkState = next;
    emit linkStateChanged(next);
}

void Stars::connectToStars()
{
    if (connectStat->state() == ConnectStat::Connected) {
        emit connectionRequested(false);
        socket->close();
        return;
    }
    emit connectionRequested(true);
    // A socket that is still looking up, connecting, open or closing keeps its connection.
    if (socket->state() != QAbstractSocket::UnconnectedState)
        return;
    resetReception();
    const auto port = quint16(portLE->text().toInt(nullptr, 10));
    socket->connectToHost(hostLE->text(), port);
}

void Stars::connectedToStars()
{
}

void Stars::disconnectedFromStars()
{
    resetReception();
    connectStat->setState(ConnectStat::Disconnected);
    updateLinkState();
    emit starsIsNotReady();
}

void Stars::closeConnection()
{
    socket->close();
}

void Stars::resetReception()
{
    pending.clear();
    loginWasRefused = false;
    ++receptionEpoch;
}

void Stars::receive()
{
    receiveFrom(*socket);
}

void Stars::receiveFrom(QIODevice &source)
{
    // A receiver that runs a nested event loop must not interleave a second pass over
    // the same buffer; the outer pass picks up what arrived meanwhile.
    if (receiving)
        return;
    receiving = true;
    const quint32 epoch = receptionEpoch;
    while (source.bytesAvailable() > 0 && epoch == receptionEpoch) {
        const int scanFrom = pending.size();
        appendAvailable(source);
        int start = 0;
        for (int lf = pending.indexOf('\n', scanFrom); lf >= 0; lf = pending.indexOf('\n', start)) {
            const QString line = decodeReceivedLine(
                QByteArray::fromRawData(pending.constData() + start, lf + 1 - start));
            start = lf + 1;
            handleLine(line);
            // The connection ended or restarted while the line was handled: the rest of
            // the buffer belonged to it.
            if (epoch != receptionEpoch)
                break;
        }
        if (epoch == receptionEpoch)
            pending.remove(0, start);
    }
    receiving = false;
}

// Reads one run of what the source holds straight onto the end of the pending bytes. The
// socket never holds more than a run: its read buffer is as large.
void Stars::appendAvailable(QIODevice &source)
{
    const int oldSize = pending.size();
    const qint64 available = qMin(source.bytesAvailable(), ReadBufferSize);
    pending.resize(oldSize + int(available));
    const qint64 got = source.read(pending.data() + oldSize, available);
    pending.resize(oldSize + int(qMax<qint64>(got, 0)));
}

void Stars::handleLine(const QString &line)
{
    static const QMetaMethod vlogSignal = QMetaMethod::fromSignal(&Stars::vlog);
    if (isSignalConnected(vlogSignal))
        emit vlog(QStringLiteral("msg from stars[%1]").arg(line.simplified()), LogColor);

    if (loginWasRefused)
        return;
    switch (connectStat->state()) {
    case ConnectStat::Disconnected:
        exchangeKey(line);
        connectStat->setState(ConnectStat::Connecting);
        break;
    case ConnectStat::Connecting:
        if (loginAccepted(line)) {
            connectStat->setState(ConnectStat::Connected);
            updateLinkState();
            emit starsIsReady();
            emit log(QStringLiteral("Connected To Stars"), LogColor);
        } else {
            refuseLogin(line);
        }
        break;
    case ConnectStat::Connected:
        processMsg(line);
        break;
    default:
        break;
    }
}

void Stars::exchangeKey(const QString &line)
{
    sentKey.clear();
    loadKeys();
    if (keys.isEmpty()) {
        emit log(QStringLiteral("I have no key to exchange with Stars."), LogColor);
        return;
    }
    // toInt gives 0 for anything that is not entirely a decimal int.
    const int index = line.trimmed().toInt(nullptr, 10);
    // The non-negative remainder, so that a negative index still picks a key.
    const int count = keys.size();
    int position = index % count;
    if (position < 0)
        position += count;
    const QString name = nameOnStarsLE->text();
    const QString &key = keys.at(position);
    sentKey = key;
    emit log(QStringLiteral("sending key [%1][%2]").arg(name, key), LogColor);
    socket->write(encodeSentLine(name + QLatin1Char(' ') + key));
}

void Stars::loadKeys()
{
    keys.clear();
    const QString name = keyFileLE->text();
    QFile file(name);
    const QFileInfo info(file);
    const QString path = info.absoluteFilePath();
    emit log(QStringLiteral("opening key file [%1]").arg(path), LogColor);
    // A directory or no name at all is no key file either.
    if (name.isEmpty() || info.isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        emit log(QStringLiteral("Can't open key file [%1]").arg(path), LogColor);
        return;
    }
    QTextStream in(&file);
    while (!in.atEnd())
        keys.append(in.readLine().simplified());
}

bool Stars::loginAccepted(const QString &line) const
{
    return line.startsWith(QStringLiteral("System>") + nameOnStarsLE->text()
                           + QStringLiteral(" Ok:"));
}

void Stars::refuseLogin(const QString &line)
{
    loginWasRefused = true;
    QString reply = line.trimmed();
    if (!sentKey.isEmpty())
        reply.replace(sentKey, QStringLiteral("*****"));
    emit loginRefused(reply.left(MaxReportedReply));
    socket->disconnectFromHost();
}

void Stars::setBusy(bool f)
{
    if (f != isBusy)
        sendEvent(QString(), QStringLiteral("ChangedIsBusy ") + (f ? QLatin1Char('1') : QLatin1Char('0')));
    isBusy = f;
}

bool Stars::busy() const
{
    return isBusy;
}

void Stars::setLogSendingMsg(bool f)
{
    logSendingMsg = f;
}
