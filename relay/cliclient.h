#pragma once

#include "linereader.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

class QSocketNotifier;
class QTcpSocket;

// A console node: logs in by key, sends the given lines or those of standard input, and
// prints every message line it receives.
class CliClient : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CliClient)

public:
    struct Options
    {
        QString node;
        QString keyFile;
        QString host;
        quint16 port = 0;
        QStringList lines; // sent instead of standard input when not empty
        int waitMs = 0;
    };

    static constexpr int Failure = 1;

    explicit CliClient(const Options &options, QObject *parent = nullptr);

    void start();

signals:
    void finished(int exitCode);

private:
    enum class State { AwaitingIndex, AwaitingAcceptance, LoggedIn, Done };

    void receive();
    void handleLine(QLatin1String line);
    void answerKeyIndex(QLatin1String line);
    void checkAcceptance(QLatin1String line);
    void print(QLatin1String line);
    void readInput();
    void queue(const QByteArray &line);
    void sendQueued();
    void closed();
    void succeed();
    void fail(const QString &message);
    void finish(int exitCode);
    QString address() const;

    const Options m_options;
    QTcpSocket *const m_socket;
    QSocketNotifier *m_input = nullptr;
    LineReader m_reader;
    LineReader m_inputReader;
    QTimer m_loginTimer;
    QTimer m_waitTimer;
    QVector<QByteArray> m_queued;
    State m_state = State::AwaitingIndex;
    bool m_inputDone = false;
    bool m_finished = false;
};
