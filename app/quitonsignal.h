#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the application's event loop on SIGTERM and SIGINT, as closing its window does, so that
// what the program does at its end still runs: a session's end, a service manager, Ctrl-C in a
// terminal. A second signal while it is ending kills the process at once. One per process.
class QuitOnSignal : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(QuitOnSignal)

public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    // Gives the signals back their default action.
    ~QuitOnSignal() override;

private:
    static void handle(int signal);
    void quit();

    QSocketNotifier *notifier = nullptr;
};
