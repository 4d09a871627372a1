#pragma once

#include <QString>

// Seconds the supervised link takes to notice and mend each kind of failure, with
// RECONNECT_SEC 1 and LINK_TIMEOUT_SEC 5. Each figure is negative when its run failed.
struct LinkRun
{
    double deadLinkNoticed = -1;   // packets vanish after log-in: until the link counts as dead
    double loggedInAfterPath = -1; // the path comes back: until the client is logged in again
    double loggedInAfterRestart = -1; // the relay restarts: until the client is logged in again
    double silentServerDropped = -1;  // a server that never sends the key index: until closed
};

// Runs the relay at `relayPath` in a network namespace of its own (needs root and `ip`), so
// that its link can be cut without a trace by taking the namespace's interface down.
LinkRun measureLink(const QString &relayPath, QString &error);
