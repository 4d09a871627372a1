#pragma once

class QObject;

// Connects a signal to a slot by their signature strings, as peers of these classes do, and
// warns when a signature does not resolve, so that a typo cannot pass silently in a release build.
bool connectBySignature(const QObject *sender, const char *signal, const QObject *receiver,
                        const char *method);
