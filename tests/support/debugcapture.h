#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the debug lines of one logging category while it lives, or with no category every
// message of any kind; everything else goes on to the handler that was installed before.
class DebugCapture
{
    Q_DISABLE_COPY(DebugCapture)

public:
    explicit DebugCapture(const char *category = nullptr);
    ~DebugCapture();

    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &msg);

    const char *category;
    QtMessageHandler previous;
};
