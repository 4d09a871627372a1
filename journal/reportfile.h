#pragma once

#include <QString>

// Writes a report's HTML to `path`: as a PDF (A4) when the name ends in .pdf, as the HTML page
// itself otherwise. False, with `problem`, when the file could not be written.
bool writeReport(const QString &html, const QString &path, QString &problem);
