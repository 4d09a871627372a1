#include <QApplication>

#include "app/config.h"
#include "body/body.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    config.parseArgs(argc, argv);
    config.loadFile(config.exactValueOf(QStringLiteral("-config"),
                                        config.exactValueOf(QStringLiteral("-c"), QStringLiteral("config.cfg"))));
    int exitCode = 0;
    {
        Body body(nullptr);
        body.show();
        exitCode = app.exec();
    }
    // The client releases its socket with deleteLater: let that happen before the application goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return exitCode;
}
