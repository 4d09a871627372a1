#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QProcess>

#include "app/config.h"
#include "app/configlocation.h"
#include "app/firstrunnote.h"
#include "app/quitonsignal.h"
#include "body/body.h"
#include "desktop/raisewindow.h"
#include "desktop/singleinstance.h"

namespace {

// Where the examples lie relative to the program, installed or in the build tree.
const QString ExamplesFromProgram = QStringLiteral("/../share/velmar/examples");

// Puts the example configuration with its keys and sounds into the per-user folder and starts
// Velmar again, which then reads it there; the note tells what went wrong instead.
void createFromExample(const QString &userDir, FirstRunNote *note)
{
    const QString examples = QDir::cleanPath(QCoreApplication::applicationDirPath() + ExamplesFromProgram);
    if (!ConfigLocation::copyExamples(examples, userDir)) {
        note->showProblem(QStringLiteral("Could not copy the example from %1 to %2").arg(examples, userDir));
        return;
    }
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1))) {
        note->showProblem(QStringLiteral("Could not start %1 again").arg(QCoreApplication::applicationFilePath()));
        return;
    }
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // SIGTERM and SIGINT end Velmar as closing its window does: the journal's stop, the
    // notifications closed, the lock given back.
    const QuitOnSignal quitOnSignal;
    config.parseArgs(argc, argv);
    const ConfigLocation location = ConfigLocation::choose(config, QProcessEnvironment::systemEnvironment(), QDir::currentPath());
    location.enter();
    config.loadFile(location.file);
    const Settings settings = Settings::fromConfig(config);
    // Before the window: a second Velmar for the same node and server only raises the first one's.
    SingleInstance instance(settings.nodeName, settings.host, settings.port);
    if (settings.desktop.singleInstance && !instance.claim(settings.desktop.dbus)) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(instance.runningText()));
        return 0;
    }
    int exitCode = 0;
    {
        Body body(settings);
        QObject::connect(&instance, &SingleInstance::raiseRequested, &body, [&body] { raiseWindow(&body); });
        if (!location.found()) {
            auto *note = new FirstRunNote(location.lookedAt, &body);
            QObject::connect(note, &FirstRunNote::createRequested, note,
                             [note, userDir = location.userDir] { createFromExample(userDir, note); });
            body.showNote(note);
        }
        body.show();
        exitCode = app.exec();
    }
    // The client releases its socket with deleteLater: let that happen before the application goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return exitCode;
}
