#pragma once

#include <QFrame>
#include <QSqlDatabase>
#include <QString>

#include "journal/historymodel.h"
#include "journal/ui_historywindow.h"

struct HistoryFilter;

// The journal's history, a top-level window of its own: the entries of a time range, filtered
// by a text and by their kinds, newest first; the table as a CSV file and the range's shift
// report as a PDF or HTML file. It reads the file through a connection of its own, opened when
// the window is first shown.
class HistoryWindow : public QFrame, private Ui_HistoryWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(HistoryWindow)

public:
    explicit HistoryWindow(const QString &file, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    // The filter that the window's fields make now.
    HistoryFilter filter() const;
    // Writes what the table shows, every line of it, as CSV; the number of lines, or -1.
    int writeCsv(const QString &path);
    bool writeShiftReport(const QString &path, QString &problem);

public slots:
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool openDatabase();
    void chooseCsv();
    void chooseReport();
    void say(const QString &text, bool failure = false);

    const QString file;
    const QString connectionName;
    QSqlDatabase db;
    HistoryModel model;
};
