#include "journal/reportfile.h"

#include <QFile>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

namespace {

constexpr qreal MarginMm = 15;

bool writePdf(const QString &html, const QString &path, QString &problem)
{
    QFile::remove(path);
    {
        QPdfWriter pdf(path);
        pdf.setTitle(QStringLiteral("Shift report"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
        QTextDocument document;
        document.setHtml(html);
        document.print(&pdf);
    }
    // QPdfWriter tells nothing when it cannot write its file.
    if (QFileInfo(path).size() > 0)
        return true;
    problem = QStringLiteral("cannot write %1").arg(path);
    return false;
}

} // namespace

bool writeReport(const QString &html, const QString &path, QString &problem)
{
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return writePdf(html, path, problem);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(html.toUtf8()) >= 0 && file.flush())
        return true;
    problem = file.errorString();
    return false;
}
