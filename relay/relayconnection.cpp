#include "relayconnection.h"

#include "keystore.h"
#include "relaylog.h"
#include "relayserver.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <cstring>
#include <limits>

namespace {

constexpr int OutputReserve = 4096;
const QLatin1String UnknownName("?");

// The text of a line ends at a NUL byte; a carriage return before the line feed is dropped.
QLatin1String textOf(QLatin1String line)
{
    const auto *nul = static_cast<const char *>(std::memchr(line.data(), '\0', size_t(line.size())));
    if (nul)
        line = QLatin1String(line.data(), int(nul - line.data()));
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

void appendUtf8(QByteArray &out, QLatin1String text)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const char *ascii = begin;
    while (ascii != end && static_cast<unsigned char>(*ascii) < 0x80)
        ++ascii;
    out.append(begin, int(ascii - begin));
    for (const char *p = ascii; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            out.append(char(c));
        } else {
            out.append(char(0xc0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3f)));
        }
    }
}

} // namespace

RelayConnection::RelayConnection(QTcpSocket *socket, RelayServer *server)
    : QObject(server)
    , m_socket(socket)
    , m_server(server)
    , m_peer(socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort()))
    , m_keyIndex(QRandomGenerator::global()->bounded(std::numeric_limits<int>::max()))
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_output.reserve(OutputReserve);
    connect(m_socket, &QTcpSocket::readyRead, this, &RelayConnection::receive);
    connect(m_socket, &QTcpSocket::disconnected, this, &RelayConnection::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            finish();
    });
    qCInfo(lcRelay).noquote() << "connection from" << m_peer;
    m_socket->write(QByteArray::number(m_keyIndex) + '\n');
}

void RelayConnection::send(std::initializer_list<QLatin1String> parts)
{
    if (m_state == State::Closing)
        return;
    m_output.resize(0);
    for (const QLatin1String part : parts)
        appendUtf8(m_output, part);
    m_output.append('\n');
    m_socket->write(m_output);
    if (m_socket->bytesToWrite() > MaxQueuedOutput)
        drop(QStringLiteral("for not reading: more than %1 bytes queued").arg(MaxQueuedOutput));
}

void RelayConnection::receive()
{
    if (m_state == State::Closing) {
        m_socket->readAll();
        return;
    }
    m_reader.append(m_socket->readAll());
    QLatin1String line;
    while (m_state != State::Closing && m_reader.next(line))
        handleLine(textOf(line));
    if (m_reader.overflowed())
        closeForLongLine();
}

void RelayConnection::handleLine(QLatin1String line)
{
    if (m_state == State::AwaitingKey)
        logIn(line);
    else
        m_server->route(this, line);
}

void RelayConnection::logIn(QLatin1String keyLine)
{
    const auto *blank = static_cast<const char *>(std::memchr(keyLine.data(), ' ', size_t(keyLine.size())));
    if (!blank) {
        refuse(UnknownName, QLatin1String("bad key line"));
        return;
    }
    const QLatin1String name(keyLine.data(), int(blank - keyLine.data()));
    const QString key = QString(keyLine.mid(name.size() + 1));
    const QLatin1String refusal = m_server->refusalFor(name, m_keyIndex, key);
    if (!refusal.isEmpty()) {
        refuse(KeyStore::isSafeNodeName(name) ? name : UnknownName, refusal);
        return;
    }
    m_node = QByteArray(name.data(), name.size());
    m_state = State::LoggedIn;
    m_server->enter(this);
    qCInfo(lcRelay).noquote() << "logged in:" << describe();
    send({ QLatin1String("System>"), name, QLatin1String(" Ok:") });
}

void RelayConnection::refuse(QLatin1String name, QLatin1String reason)
{
    qCInfo(lcRelay).noquote() << "refused" << m_peer << "as" << QString(name) << "for" << QString(reason);
    send({ QLatin1String("System>"), name, QLatin1String(" Er: log-in refused: "), reason });
    m_state = State::Closing;
    m_socket->disconnectFromHost();
}

void RelayConnection::closeForLongLine()
{
    const QLatin1String tooLong("line too long");
    if (m_state == State::AwaitingKey) {
        refuse(UnknownName, tooLong);
        return;
    }
    qCInfo(lcRelay).noquote() << "closing" << describe() << "for a line longer than" << MaxLineLength << "bytes";
    send({ QLatin1String("System>"), QLatin1String(m_node), QLatin1String(" @ Er: "), tooLong });
    m_state = State::Closing;
    m_socket->disconnectFromHost();
}

// Stops writing at once; the socket goes away from the event loop, so that routing in
// progress never sees a connection vanish under it.
void RelayConnection::drop(const QString &reason)
{
    m_state = State::Closing;
    qCInfo(lcRelay).noquote() << "dropped" << describe() << reason;
    QMetaObject::invokeMethod(this, [this] {
        m_socket->abort();
        finish();
    }, Qt::QueuedConnection);
}

void RelayConnection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_state = State::Closing;
    m_server->remove(this);
    qCInfo(lcRelay).noquote() << "disconnected:" << describe();
    deleteLater();
}

QString RelayConnection::describe() const
{
    return m_node.isEmpty() ? m_peer : QString::fromLatin1(m_node) + QLatin1String(" (") + m_peer + QLatin1Char(')');
}
