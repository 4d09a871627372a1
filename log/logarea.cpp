#include "log/logarea.h"

#include "log/logcolours.h"

#include <QDateTime>
#include <QDir>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QString FileNamePattern = QStringLiteral("log-%1.dat");
const QString FileNameTimeFormat = QStringLiteral("yyMMdd-hhmmss");
// Laying out a shown line costs tens of microseconds, so a flood is shown a share at a
// time and the event loop runs between the shares.
constexpr int MaxLinesPerPass = 50;

QString fileNameFrom(const QString &pattern)
{
    const QString name = QString(pattern).replace(QLatin1String("%1"),
                                                  QDateTime::currentDateTime().toString(FileNameTimeFormat));
    return QDir::current().absoluteFilePath(name);
}

} // namespace

LogArea::LogArea(QWidget *parent, int maxBlocks)
    : QFrame(parent)
{
    setupUi(this);
    LogFileName->setText(fileNameFrom(FileNamePattern));
    LogDisp->document()->setMaximumBlockCount(maxBlocks);
    showTimer.setSingleShot(true);
    connect(&showTimer, &QTimer::timeout, this, &LogArea::showWaitingLines);
    connect(Verbose, &QCheckBox::toggled, this, &LogArea::verboseToggled);
}

void LogArea::writeTo(const QString &fileName)
{
    if (!fileName.isEmpty())
        LogFileName->setText(fileNameFrom(fileName));
    IsWriteTo->setChecked(true);
}

void LogArea::log(const QString &msg, const QColor c)
{
    const QString line = stamp.now() + msg;
    showLater(line, c);
    if (IsWriteTo->isChecked())
        writeToFile(line);
}

void LogArea::vlog(const QString &msg, const QColor c)
{
    if (Verbose->isChecked())
        log(msg, c);
}

// The line waits until the events pending now have been handled, so that the lines of a
// burst are shown in one edit: the display lays out its document and drops its oldest
// blocks once per burst instead of once per line.
void LogArea::showLater(const QString &line, const QColor &colour)
{
    if (!showTimer.isActive())
        showTimer.start(0);
    waiting.push_back({ line, colour });
    // The oldest waiting line can never be seen once the lines after the next one fill the
    // display by themselves (the next one may go to the user's cursor instead of the end),
    // so it is dropped. The file has every line.
    const int maxBlocks = LogDisp->document()->maximumBlockCount();
    if (maxBlocks > 0 && int(waiting.size()) > maxBlocks)
        waiting.pop_front();
}

void LogArea::showWaitingLines()
{
    QTextCursor edit(LogDisp->document());
    edit.beginEditBlock();
    for (int shown = 0; shown < MaxLinesPerPass && !waiting.empty(); ++shown) {
        showLine(waiting.front());
        waiting.pop_front();
    }
    edit.endEditBlock();
    LogDisp->ensureCursorVisible();
    if (!waiting.empty())
        showTimer.start(0);
}

// Inserted at the cursor, so a line goes where the user clicked or replaces the text the
// user selected; the cursor then returns to the end for the next line.
void LogArea::showLine(const WaitingLine &line)
{
    // The selection goes first: replaced as it stands, a selection made from right to left
    // would give the line the colour of the text in front of it.
    LogDisp->textCursor().removeSelectedText();
    LogDisp->setTextColor(line.colour);
    LogDisp->insertPlainText(line.text + QLatin1Char('\n'));
    LogDisp->moveCursor(QTextCursor::End);
}

void LogArea::writeToFile(const QString &line)
{
    const QString fileName = LogFileName->text();
    switch (file.append(fileName, line)) {
    case LogFile::Change::Failed:
        showLater(stamp.now() + tr("The log file %1 could not be written: %2")
                                    .arg(fileName, file.failure()),
                  LogColours::Failure);
        break;
    case LogFile::Change::Resumed:
        showLater(stamp.now() + tr("Writing to the log file %1 has resumed").arg(fileName),
                  LogColours::Recovery);
        break;
    case LogFile::Change::None:
        break;
    }
}
