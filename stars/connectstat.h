#pragma once

#include <QObject>

#include "stars/linkstate.h"

class QAbstractButton;
class QLabel;

// Holds the connection state and shows it on the status label and the connect button.
class ConnectStat : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ConnectStat)

public:
    enum State { Disconnected = 0, Connecting = 1, Connected = 2 };

    explicit ConnectStat(QObject *parent = nullptr);
    ~ConnectStat() override;

    // The status label's style sheet for a link state, for other views of the link.
    static QString labelStyleSheet(LinkState state);

    void setWidgets(QLabel *label, QAbstractButton *button);
    void setState(int s);
    int state() const;

signals:
    void askConnect();
    void askDisconnect();

private slots:
    void connectBClicked();

private:
    QLabel *label = nullptr;
    QAbstractButton *button = nullptr;
    int currentState = Disconnected;
};
