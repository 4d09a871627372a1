#include "stars/connectstat.h"

#include <QAbstractButton>
#include <QLabel>

namespace {

struct StateLook
{
    const char *labelText;
    const char *labelStyle;
    const char *buttonText;
    const char *buttonStyle;
};

const StateLook looks[] = {
    {QT_TRANSLATE_NOOP("ConnectStat", "Disconnected"), "background-color: rgb(176, 192, 192);",
     QT_TRANSLATE_NOOP("ConnectStat", "Connect"), "background-color: rgb(96, 255, 181);"},
    {QT_TRANSLATE_NOOP("ConnectStat", "Connecting"), "background-color: rgb(255, 243, 162);",
     QT_TRANSLATE_NOOP("ConnectStat", "Connecting"), "background-color: rgb(240, 240, 240);"},
    {QT_TRANSLATE_NOOP("ConnectStat", "Connected"), "background-color: rgb(211, 255, 241);",
     QT_TRANSLATE_NOOP("ConnectStat", "Disconnect"), "background-color: rgb(255, 255, 128);"},
};

} // namespace

ConnectStat::ConnectStat(QObject *parent)
    : QObject(parent)
{
}

ConnectStat::~ConnectStat() = default;

QString ConnectStat::labelStyleSheet(LinkState state)
{
    switch (state) {
    case LinkState::Down:
        return QString::fromLatin1(looks[Disconnected].labelStyle);
    case LinkState::Connecting:
    case LinkState::LoggingIn:
        return QString::fromLatin1(looks[Connecting].labelStyle);
    case LinkState::LoggedIn:
        break;
    }
    return QString::fromLatin1(looks[Connected].labelStyle);
}

void ConnectStat::setWidgets(QLabel *statusLabel, QAbstractButton *connectButton)
{
    label = statusLabel;
    button = connectButton;
    // A null button leaves the click unconnected; Qt warns about it.
    const bool connected = connect(button, SIGNAL(clicked()), this, SLOT(connectBClicked()));
    if (button && !connected)
        qWarning("ConnectStat: the connect button's clicked() could not be connected");
}

// Out-of-range states are stored but leave the widgets as they were.
void ConnectStat::setState(int s)
{
    currentState = s;
    if (s < Disconnected || s > Connected)
        return;
    const StateLook &look = looks[s];
    if (label) {
        label->setText(tr(look.labelText));
        label->setStyleSheet(QString::fromLatin1(look.labelStyle));
    }
    if (button) {
        button->setText(tr(look.buttonText));
        button->setStyleSheet(QString::fromLatin1(look.buttonStyle));
    }
}

int ConnectStat::state() const
{
    return currentState;
}

void ConnectStat::connectBClicked()
{
    if (currentState == Disconnected)
        emit askConnect();
    else
        emit askDisconnect();
}
