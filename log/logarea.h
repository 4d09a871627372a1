#pragma once

#include "log/linestamp.h"
#include "log/logfile.h"
#include "log/ui_logarea.h"

#include <QColor>
#include <QFrame>
#include <QString>
#include <QTimer>

#include <deque>

class QWidget;

// The log window: time-stamped, coloured lines, optionally appended to a file line by line.
class LogArea : public QFrame, private Ui_LogArea
{
    Q_OBJECT
    Q_DISABLE_COPY(LogArea)

public:
    // The main window's log window keeps this many text blocks; older lines scroll away.
    static constexpr int MaxLogBlocks = 2000;

    LogArea(QWidget *parent, int maxBlocks);

    // Ticks "Write To". A name, relative to the working directory, replaces the proposed one;
    // "%1" in it stands for the start time, as in the proposed name.
    void writeTo(const QString &fileName = QString());

public slots:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    void vlog(const QString &msg, const QColor c = QColor(0, 0, 0));

signals:
    // "Verbose" was ticked or unticked.
    void verboseToggled(bool on);

private:
    struct WaitingLine {
        QString text;
        QColor colour;
    };

    void showLater(const QString &line, const QColor &colour);
    void showWaitingLines();
    void showLine(const WaitingLine &line);
    void writeToFile(const QString &line);

    LineStamp stamp;
    LogFile file;
    // Lines logged but not shown yet, oldest first.
    std::deque<WaitingLine> waiting;
    QTimer showTimer;
};
