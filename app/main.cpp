#include <QApplication>
#include <QDir>
#include <QProcess>

#include "app/config.h"
#include "app/configlocation.h"
#include "app/firstrunnote.h"
#include "body/body.h"

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
    config.parseArgs(argc, argv);
    const ConfigLocation location = ConfigLocation::choose(config, QProcessEnvironment::systemEnvironment(), QDir::currentPath());
    location.enter();
    config.loadFile(location.file);
    int exitCode = 0;
    {
        Body body(nullptr);
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
