#pragma once

class QAbstractSocket;

// Has the system probe an idle TCP peer and give up on data the peer does not acknowledge, so
// that a connection whose packets vanish is declared dead within `timeoutMs` (at least one
// second). The probes carry no payload. False when the timing could not be set: on other
// systems than Linux only the system's own keep-alive timing applies.
bool enableKeepAlive(QAbstractSocket *socket, int timeoutMs);
