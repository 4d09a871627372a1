#include "log/logarea.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>

namespace {

const QString FileNamePattern = QStringLiteral("log-%1.dat");
const QString FileNameTimeFormat = QStringLiteral("yyMMdd-hhmmss");

QString proposedFileName()
{
    const QString name =
        FileNamePattern.arg(QDateTime::currentDateTime().toString(FileNameTimeFormat));
    return QDir::current().absoluteFilePath(name);
}

} // namespace

LogArea::LogArea(QWidget *parent, int maxBlocks)
    : QFrame(parent)
{
    setupUi(this);
    LogFileName->setText(proposedFileName());
    LogDisp->document()->setMaximumBlockCount(maxBlocks);
}

void LogArea::log(const QString &msg, const QColor c)
{
    const QString line = stamp.now() + msg;
    LogDisp->setTextColor(c);
    LogDisp->insertPlainText(line + QLatin1Char('\n'));
    LogDisp->moveCursor(QTextCursor::End);
    if (IsWriteTo->isChecked())
        appendToFile(line);
}

void LogArea::vlog(const QString &msg, const QColor c)
{
    if (Verbose->isChecked())
        log(msg, c);
}

// Opens and closes the file around every line, so each line is on disk when the slot
// returns and the file may be moved away between lines.
void LogArea::appendToFile(const QString &line) const
{
    const QString fileName = LogFileName->text();
    // An empty name cannot be opened; skipping it spares Qt's warning about it.
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << line << '\n';
}
