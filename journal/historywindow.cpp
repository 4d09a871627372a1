#include "journal/historywindow.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QSqlError>
#include <QSqlRecord>

#include "app/timeunits.h"
#include "journal/csvrecord.h"
#include "journal/historyfilter.h"
#include "journal/journaldatabase.h"
#include "journal/reportfile.h"
#include "journal/shiftreport.h"
#include "log/logcolours.h"

namespace {

// The choices of the range box before "Between dates", in hours.
const QVector<int> RangeHours = {1, 8, 24, 7 * 24};

} // namespace

HistoryWindow::HistoryWindow(const QString &file, QWidget *parent)
    : QFrame(parent)
    , file(file)
    , connectionName(QStringLiteral("velmar-history-%1").arg(quintptr(this)))
{
    setupUi(this);
    const QDateTime now = QDateTime::currentDateTime();
    FromE->setDateTime(now.addDays(-1));
    ToE->setDateTime(now);
    HistoryV->setModel(&model);
    HistoryV->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(RangeC, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        FromE->setEnabled(index == RangeHours.size());
        ToE->setEnabled(index == RangeHours.size());
        refresh();
    });
    for (QDateTimeEdit *edit : {FromE, ToE})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, &HistoryWindow::refresh);
    connect(FilterE, &QLineEdit::textChanged, this, &HistoryWindow::refresh);
    for (QCheckBox *box : {EventsX, AlarmsX, OperatorX, LinkX, SoundX, StartStopX})
        connect(box, &QCheckBox::toggled, this, &HistoryWindow::refresh);
    connect(RefreshB, &QPushButton::clicked, this, &HistoryWindow::refresh);
    connect(CsvB, &QPushButton::clicked, this, &HistoryWindow::chooseCsv);
    connect(ReportB, &QPushButton::clicked, this, &HistoryWindow::chooseReport);
}

HistoryWindow::~HistoryWindow()
{
    model.clear();
    JournalDatabase::closeConnection(db, connectionName);
}

HistoryFilter HistoryWindow::filter() const
{
    HistoryFilter filter;
    const int range = RangeC->currentIndex();
    const QDateTime now = QDateTime::currentDateTime();
    filter.fromMs = range < RangeHours.size() ? now.toMSecsSinceEpoch() - qint64(RangeHours.at(range)) * MsPerHour
                                              : FromE->dateTime().toMSecsSinceEpoch();
    filter.toMs = range < RangeHours.size() ? now.toMSecsSinceEpoch() : ToE->dateTime().toMSecsSinceEpoch();
    filter.text = FilterE->text();
    const QList<QPair<QCheckBox *, QStringList>> kinds = {
        {EventsX, {"event"}}, {AlarmsX, {"alarm"}}, {OperatorX, {"operator"}}, {LinkX, {"link"}},
        {SoundX, {"sound"}}, {StartStopX, {"start", "stop"}}};
    for (const auto &kind : kinds) {
        if (kind.first->isChecked())
            filter.kinds << kind.second;
    }
    return filter;
}

void HistoryWindow::refresh()
{
    if (!isVisible() || !openDatabase())
        return;
    const QString problem = model.show(db, filter());
    if (problem.isEmpty())
        say(tr("Newest first; older entries load as the table scrolls"));
    else
        say(problem, true);
    HistoryV->resizeColumnsToContents();
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    refresh();
}

// Read-only: the window never writes the journal, and a reader never waits for its writer.
bool HistoryWindow::openDatabase()
{
    if (db.isOpen())
        return true;
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    if (db.open())
        return true;
    say(tr("Cannot read %1: %2").arg(file, db.lastError().text()), true);
    return false;
}

int HistoryWindow::writeCsv(const QString &path)
{
    QFile out(path);
    if (!openDatabase() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    QSqlQuery query = filter().query(db);
    if (!query.exec())
        return -1;
    bool written = out.write(csvRecord(HistoryModel::headers())) > 0;
    int lines = 0;
    while (written && query.next()) {
        QStringList cells;
        for (int column = 0; column < HistoryFilter::ColumnCount; ++column)
            cells << HistoryModel::cellText(column, query.value(column));
        written = out.write(csvRecord(cells)) > 0;
        ++lines;
    }
    return written && out.flush() ? lines : -1;
}

bool HistoryWindow::writeShiftReport(const QString &path, QString &problem)
{
    if (!openDatabase()) {
        problem = db.lastError().text();
        return false;
    }
    const HistoryFilter range = filter();
    return writeReport(shiftReportHtml(db, range.fromMs, range.toMs), path, problem);
}

void HistoryWindow::chooseCsv()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export CSV"), QStringLiteral("history.csv"), tr("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    const int lines = writeCsv(path);
    if (lines < 0)
        say(tr("Could not write %1").arg(path), true);
    else
        say(tr("Wrote %1 lines to %2").arg(lines).arg(path));
}

void HistoryWindow::chooseReport()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Shift report"), QStringLiteral("shift-report.pdf"),
                                                      tr("PDF (*.pdf);;HTML (*.html)"));
    if (path.isEmpty())
        return;
    QString problem;
    if (writeShiftReport(path, problem))
        say(tr("Wrote the shift report to %1").arg(path));
    else
        say(tr("Could not write %1: %2").arg(path, problem), true);
}

void HistoryWindow::say(const QString &text, bool failure)
{
    StatusL->setText(text);
    StatusL->setStyleSheet(failure ? QStringLiteral("color: %1").arg(LogColours::Failure.name()) : QString());
}
