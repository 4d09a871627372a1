#include "log/logarea.h"

#include <QDateTime>
#include <QDir>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QString FileNamePattern = QStringLiteral("log-%1.dat");
const QString FileNameTimeFormat = QStringLiteral("yyMMdd-hhmmss");
const QColor FailureColour(255, 0, 0);
const QColor ResumedColour(0, 0, 0);

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
    showLine(line, c);
    if (IsWriteTo->isChecked())
        writeToFile(line);
}

void LogArea::vlog(const QString &msg, const QColor c)
{
    if (Verbose->isChecked())
        log(msg, c);
}

// Inserted at the cursor, so a line goes where the user clicked or replaces the text the
// user selected; the cursor then returns to the end for the next line.
void LogArea::showLine(const QString &line, const QColor &colour)
{
    // The selection goes first: replaced as it stands, a selection made from right to left
    // would give the line the colour of the text in front of it.
    LogDisp->textCursor().removeSelectedText();
    LogDisp->setTextColor(colour);
    LogDisp->insertPlainText(line + QLatin1Char('\n'));
    LogDisp->moveCursor(QTextCursor::End);
}

void LogArea::writeToFile(const QString &line)
{
    const QString fileName = LogFileName->text();
    switch (file.append(fileName, line)) {
    case LogFile::Change::Failed:
        showLine(stamp.now() + tr("The log file %1 could not be written: %2")
                                   .arg(fileName, file.failure()),
                 FailureColour);
        break;
    case LogFile::Change::Resumed:
        showLine(stamp.now() + tr("Writing to the log file %1 has resumed").arg(fileName),
                 ResumedColour);
        break;
    case LogFile::Change::None:
        break;
    }
}
