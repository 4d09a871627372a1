#include "cliclient.h"

#include "keystore.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int LoginTimeoutMs = 10000;
constexpr int MaxReceivedLineLength = 16 << 20;
constexpr int MaxInputLineLength = 1 << 20;
constexpr int InputChunk = 64 * 1024;
constexpr int StdinFd = 0;

} // namespace

CliClient::CliClient(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_socket(new QTcpSocket(this))
    , m_reader(MaxReceivedLineLength)
    , m_inputReader(MaxInputLineLength)
{
    m_loginTimer.setSingleShot(true);
    m_waitTimer.setSingleShot(true);
    connect(&m_loginTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no log-in at %1 within %2 ms").arg(address()).arg(LoginTimeoutMs));
    });
    connect(&m_waitTimer, &QTimer::timeout, this, &CliClient::succeed);
    connect(m_socket, &QTcpSocket::readyRead, this, &CliClient::receive);
    connect(m_socket, &QTcpSocket::disconnected, this, &CliClient::closed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_state == State::Done || m_socket->error() == QAbstractSocket::RemoteHostClosedError)
            return;
        const QString what = m_state == State::LoggedIn ? QStringLiteral("connection to %1 lost: %2")
                                                        : QStringLiteral("cannot connect to %1: %2");
        fail(what.arg(address(), m_socket->errorString()));
    });
}

void CliClient::start()
{
    for (const QString &line : m_options.lines)
        queue(line.toLatin1());
    m_inputDone = !m_options.lines.isEmpty();
    if (!m_inputDone) {
        m_input = new QSocketNotifier(StdinFd, QSocketNotifier::Read, this);
        connect(m_input, &QSocketNotifier::activated, this, &CliClient::readInput);
    }
    m_loginTimer.start(LoginTimeoutMs);
    m_socket->connectToHost(m_options.host, m_options.port);
}

void CliClient::receive()
{
    m_reader.append(m_socket->readAll());
    QLatin1String line;
    while (m_state != State::Done && m_reader.next(line))
        handleLine(line);
    if (m_reader.overflowed() && m_state != State::Done)
        fail(QStringLiteral("received a line longer than %1 bytes").arg(MaxReceivedLineLength));
}

void CliClient::handleLine(QLatin1String line)
{
    switch (m_state) {
    case State::AwaitingIndex:
        answerKeyIndex(line);
        break;
    case State::AwaitingAcceptance:
        checkAcceptance(line);
        break;
    case State::LoggedIn:
        print(line);
        break;
    case State::Done:
        break;
    }
}

void CliClient::answerKeyIndex(QLatin1String line)
{
    QStringList keys;
    if (!KeyStore::readKeys(m_options.keyFile, keys)) {
        fail(QStringLiteral("cannot read key file %1").arg(m_options.keyFile));
        return;
    }
    if (keys.isEmpty()) {
        fail(QStringLiteral("no keys in key file %1").arg(m_options.keyFile));
        return;
    }
    bool ok = false;
    const qint64 index = QByteArray(line.data(), line.size()).trimmed().toLongLong(&ok);
    const QString &key = keys.at(KeyStore::position(ok ? index : 0, keys.size()));
    m_socket->write((m_options.node + QLatin1Char(' ') + key).toLatin1() + '\n');
    m_state = State::AwaitingAcceptance;
}

void CliClient::checkAcceptance(QLatin1String line)
{
    const QString text = QString::fromUtf8(line.data(), line.size());
    if (!text.startsWith(QStringLiteral("System>%1 Ok:").arg(m_options.node))) {
        fail(QStringLiteral("log-in refused by %1: %2").arg(address(), text));
        return;
    }
    m_loginTimer.stop();
    m_state = State::LoggedIn;
    sendQueued();
}

void CliClient::print(QLatin1String line)
{
    const QByteArray text = QString::fromUtf8(line.data(), line.size()).toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

void CliClient::readInput()
{
    char chunk[InputChunk];
    const ssize_t count = ::read(StdinFd, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR)
        return;
    if (count > 0) {
        m_inputReader.append(QByteArray(chunk, int(count)));
        QLatin1String line;
        while (m_inputReader.next(line))
            queue(QString::fromUtf8(line.data(), line.size()).toLatin1());
        if (m_inputReader.overflowed())
            fail(QStringLiteral("input line longer than %1 bytes").arg(MaxInputLineLength));
    } else {
        m_input->setEnabled(false);
        const QByteArray last = m_inputReader.takePartialLine();
        if (!last.isEmpty())
            queue(QString::fromUtf8(last).toLatin1());
        m_inputDone = true;
    }
    sendQueued();
}

// Lines go out as Latin-1, which is what nodes write; a character outside it becomes '?'.
void CliClient::queue(const QByteArray &line)
{
    m_queued.append(line.endsWith('\r') ? line.chopped(1) : line);
}

void CliClient::sendQueued()
{
    if (m_state != State::LoggedIn)
        return;
    for (const QByteArray &line : qAsConst(m_queued))
        m_socket->write(line + '\n');
    m_queued.clear();
    if (m_inputDone && !m_waitTimer.isActive())
        m_waitTimer.start(m_options.waitMs);
}

void CliClient::closed()
{
    if (m_state == State::Done)
        finish(0);
    else
        fail(QStringLiteral("connection closed by %1").arg(address()));
}

void CliClient::succeed()
{
    m_state = State::Done;
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        finish(0);
}

void CliClient::fail(const QString &message)
{
    std::fprintf(stderr, "stars-cli: %s\n", qPrintable(message));
    m_state = State::Done;
    finish(Failure);
    m_socket->abort();
}

void CliClient::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}

QString CliClient::address() const
{
    return m_options.host + QLatin1Char(':') + QString::number(m_options.port);
}
