#pragma once

#include <QObject>

#include <functional>

// Calls a function once the event loop turns, however often it was asked to meanwhile: a burst
// of events asks a view to show itself or a player to start a thousand times, and once is all
// anyone can see or hear.
class OncePerTurn : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(OncePerTurn)

public:
    OncePerTurn(std::function<void()> call, QObject *parent);

    void request();

private:
    std::function<void()> call;
    bool requested = false;
};
