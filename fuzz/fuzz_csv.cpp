// Writes arbitrary cells, event texts as they come from the network, as one CSV record of the
// history's export, reads the record back as RFC 4180 has it, and checks that it is one record
// ending in CR LF with the same cells, each that a spreadsheet would run as a formula (it begins
// with =, +, -, @, a tab or a carriage return) led by an apostrophe. The input is the cells,
// split at NUL bytes and read as UTF-8.
#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <cstdint>

#include "journal/csvrecord.h"
#include "fuzzcheck.h"

namespace {

// The cells of one record; false when the bytes are not one well-formed record.
bool readRecord(const QString &text, QStringList &cells)
{
    if (!text.endsWith(QLatin1String("\r\n")))
        return false;
    const QString body = text.left(text.size() - 2);
    QString cell;
    bool quoted = false;
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (quoted) {
            if (c != QLatin1Char('"')) {
                cell += c;
            } else if (i + 1 < body.size() && body.at(i + 1) == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (i + 1 < body.size() && body.at(i + 1) != QLatin1Char(',')) {
                return false;
            } else {
                quoted = false;
            }
        } else if (c == QLatin1Char('"') && (i == 0 || body.at(i - 1) == QLatin1Char(','))) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            cells << cell;
            cell.clear();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            return false;
        } else {
            cell += c;
        }
    }
    cells << cell;
    return !quoted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList cells;
    for (const QByteArray &part : QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\0'))
        cells << QString::fromUtf8(part);
    QStringList read;
    check(readRecord(QString::fromUtf8(csvRecord(cells)), read));
    check(read.size() == cells.size());
    for (int i = 0; i < cells.size(); ++i) {
        const QString &cell = cells.at(i);
        const bool formula = !cell.isEmpty() && QStringLiteral("=+-@\t\r").contains(cell.at(0));
        check(read.at(i) == (formula ? QLatin1Char('\'') + cell : cell));
    }
    return 0;
}
