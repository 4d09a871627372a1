#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QColor>
#include <QFrame>
#include <QString>
#include <QStringList>

#include "stars/amsg.h"
#include "stars/cmdtable.h"
#include "stars/linkstate.h"
#include "stars/ui_stars.h"

class ConnectStat;
class QIODevice;
class QLineEdit;
class QTcpSocket;

// The Stars connection settings panel and the client end of the Stars connection:
// log-in by key exchange, the receive loop, sending and the dispatch of received lines.
class Stars : public QFrame, private Ui_Stars
{
    Q_OBJECT
    Q_DISABLE_COPY(Stars)

public:
    explicit Stars(QWidget *parent = nullptr);
    ~Stars() override;

    QLineEdit *hostField() const;
    QLineEdit *portField() const;
    QLineEdit *nodeNameField() const;
    QLineEdit *keyFileField() const;
    int connectionState() const;
    LinkState linkState() const;
    // "host:port" as the panel's fields give them.
    QString address() const;
    // Has the system probe the open connection so that a dead peer is noticed within
    // `timeoutMs`; false when the probes' timing could not be set.
    bool enableKeepAlive(int timeoutMs);
    // Drops the connection at once, whatever its state.
    void abortConnection();
    // Handles the bytes `source` holds as bytes from the server, as the socket's are handled:
    // in runs of at most 64 KiB, line by line, through the log-in and the dispatch. What the
    // client writes meanwhile goes to its socket. Lets a fuzzer feed bytes without a connection.
    void receiveFrom(QIODevice &source);

    // Guards for code that answers commands: on a wrong parameter count they reply
    // "Er: Number of Params shuld be N" and fail.
    bool checkParamsEq(const AMsg &aMsg, int n);
    int checkParamsMax(const AMsg &aMsg, int n);
    int checkParamsMin(const AMsg &aMsg, int n);

signals:
    void starsIsReady();
    void starsIsNotReady();
    void anyAns(const AMsg &amsg);
    void anyEvent(const AMsg &amsg);
    void anyAsk(const AMsg &amsg);
    void anyMsg(const AMsg &amsg);
    void notice(const QString &msg, int timeout = 2000, bool warn = false);
    void log(const QString &msg, const QColor &c = QColor(0, 0, 0));
    void vlog(const QString &msg, const QColor &c = QColor(0, 0, 0));
    void sendingAnsToStars(const QString &ans);
    void sendingEventToStars(const QString &msg);
    void sendingAskToStars(const QString &msg);
    // connectToStars() was called: to open a connection (true) or to close a live one (false).
    void connectionRequested(bool open);
    // The server refused the log-in with this line; the key that was sent is masked in it.
    void loginRefused(const QString &reply);
    void linkStateChanged(LinkState state);
    void linkError(QAbstractSocket::SocketError error, const QString &text);

private slots:
    void connectedToStars();
    void disconnectedFromStars();
    void closeConnection();
    void receive();
    void newHost();
    void newPort();

public slots:
    void connectToStars();
    void setBusy(bool f);
    bool busy() const;
    void setLogSendingMsg(bool f);
    void sendOk(const AMsg &aMsg);
    void sendAns(const AMsg &aMsg, const QString &ans);
    void sendEvent(const QString &fromCh, const QString &event);
    void sendCmd(const QString &fromCh, const QString &to, const QString &cmd);
    void sendCmdV(const QString &fromCh, const QString &to, const QString &cmd, const QString &val);

private:
    // Connection and log-in.
    void resetReception();
    void appendAvailable(QIODevice &source);
    void handleLine(const QString &line);
    void exchangeKey(const QString &line);
    void loadKeys();
    bool loginAccepted(const QString &line) const;
    void refuseLogin(const QString &line);
    void updateLinkState();

    // Sending.
    QString sendMsg(const QString &fromNode, const QString &fromCh, const QString &to,
                    const QString &body);
    QString sendFromMe(const QString &fromCh, const QString &to, const QString &body);
    void replyParamCount(const AMsg &aMsg, int n);

    // Dispatch.
    void initCmds();
    void processMsg(const QString &line);
    void answerHelp(const AMsg &msg);

    // Address history.
    void readHistory(QString &host, QString &port) const;
    void appendHistory(const QString &entry) const;
    void recordHistory(const QString &key, const QString &text) const;

    QColor sendColor;
    QStringList keys;
    QTcpSocket *socket = nullptr;
    ConnectStat *connectStat = nullptr;
    LinkState currentLinkState = LinkState::Down;
    bool isBusy = false;
    CmdTable commands;
    bool logSendingMsg = false;
    // The key of the last key exchange, kept out of what is passed on about a refusal.
    QString sentKey;

    // Bytes read from the socket that do not yet end in a line feed.
    QByteArray pending;
    // Set when the log-in was refused: the rest of that connection's lines are dropped.
    bool loginWasRefused = false;
    // Changes whenever the reception state is reset, so a running receive loop notices it.
    quint32 receptionEpoch = 0;
    bool receiving = false;
};
