#include "app/connectbysignature.h"

#include <QLoggingCategory>
#include <QObject>

Q_LOGGING_CATEGORY(lcConnect, "velmar.connect")

bool connectBySignature(const QObject *sender, const char *signal, const QObject *receiver,
                        const char *method)
{
    const bool connected = QObject::connect(sender, signal, receiver, method);
    if (!connected)
        qCWarning(lcConnect) << "cannot connect" << signal << "to" << method;
    return connected;
}
