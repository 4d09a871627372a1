#include "journal/shiftreport.h"

#include <QDateTime>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <algorithm>

#include "alarm/acknowledgement.h"
#include "app/durationtext.h"

namespace {

using Lines = QVector<QStringList>;

// Each row's last alarm entry up to the end of the range, from the index of alarm entries.
const QString StandingAtEnd = QStringLiteral(
    "SELECT row, state, since_ms, until_ms, sender, event FROM entries WHERE id IN "
    "(SELECT max(id) FROM entries WHERE kind = 'alarm' AND at_ms <= ? GROUP BY row) ORDER BY row");
const QString EventCounts = QStringLiteral(
    "SELECT row, sender, count(*) FROM entries WHERE kind = 'event' AND at_ms BETWEEN ? AND ? GROUP BY row, sender");
const QString Acknowledgements = QStringLiteral(
    "SELECT row, since_ms, at_ms, operator, desk, cause FROM entries WHERE kind = 'alarm' AND at_ms BETWEEN ? AND ? "
    "AND state = 'acknowledged' AND cause IN ('ack', 'ack all', 'silence', 'peer', 'shelve') ORDER BY at_ms, id");
const QString OutageChanges = QStringLiteral(
    "SELECT at_ms, state, text FROM entries WHERE kind = ? AND at_ms BETWEEN ? AND ? ORDER BY at_ms, id");
const QString StateBefore = QStringLiteral(
    "SELECT at_ms, state, text FROM entries WHERE kind = ? AND at_ms < ? ORDER BY at_ms DESC, id DESC LIMIT 1");
const QString Actions = QStringLiteral(
    "SELECT at_ms, kind, text, row, operator, cause, until_ms FROM entries WHERE at_ms BETWEEN ? AND ? "
    "AND (kind = 'operator' OR (kind = 'alarm' AND (cause IN ('ack', 'ack all', 'unshelve', 'click') "
    "OR (cause = 'shelve' AND state = 'shelved')))) ORDER BY at_ms, id");

QString when(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString shelfEnd(qint64 ms)
{
    return ms == 0 ? QStringLiteral("until unshelved") : when(ms);
}

QSqlQuery run(const QSqlDatabase &db, const QString &statement, const QVariantList &values)
{
    QSqlQuery query(db);
    query.prepare(statement);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    query.exec();
    return query;
}

QString table(const QString &title, const QStringList &headers, const Lines &lines)
{
    QString html = QStringLiteral("<h2>%1</h2>").arg(title.toHtmlEscaped());
    if (lines.isEmpty())
        return html + QStringLiteral("<p>None.</p>");
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>");
    for (const QString &header : headers)
        html += QStringLiteral("<th align=\"left\">%1</th>").arg(header.toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (const QStringList &line : lines) {
        html += QStringLiteral("<tr>");
        for (const QString &cell : line)
            html += QStringLiteral("<td>%1</td>").arg(cell.toHtmlEscaped());
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString standingTables(const QSqlDatabase &db, qint64 toMs)
{
    Lines unacknowledged;
    Lines shelved;
    QSqlQuery query = run(db, StandingAtEnd, {toMs});
    while (query.next()) {
        const QString state = query.value(1).toString();
        const qint64 since = query.value(2).toLongLong();
        const QString last = query.value(4).toString() + QLatin1Char(' ') + query.value(5).toString();
        if (state.startsWith(QLatin1String("ringing")) || state.startsWith(QLatin1String("unacknowledged")))
            unacknowledged << QStringList {query.value(0).toString(), state, when(since), durationText(toMs - since), last};
        else if (state == QLatin1String("shelved"))
            shelved << QStringList {query.value(0).toString(), shelfEnd(query.value(3).toLongLong()), last};
    }
    return table(QStringLiteral("Alarms still unacknowledged"), {"Row", "State", "Since", "Waiting", "Last event"}, unacknowledged)
        + table(QStringLiteral("Rows shelved"), {"Row", "Shelf ends", "Last event"}, shelved);
}

// The counts, largest first.
Lines byCount(const QMap<QString, int> &counts)
{
    QVector<QPair<QString, int>> sorted;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        sorted.append({it.key(), it.value()});
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    Lines lines;
    for (const auto &count : sorted)
        lines << QStringList {count.first, QString::number(count.second)};
    return lines;
}

// An event entry names every row it matched, joined by ", ".
QString eventTables(const QSqlDatabase &db, qint64 fromMs, qint64 toMs)
{
    QMap<QString, int> perRow;
    QMap<QString, int> perSender;
    QSqlQuery query = run(db, EventCounts, {fromMs, toMs});
    while (query.next()) {
        const int count = query.value(2).toInt();
        for (const QString &row : query.value(0).toString().split(QStringLiteral(", ")))
            perRow[row] += count;
        perSender[query.value(1).toString()] += count;
    }
    return table(QStringLiteral("Events per row"), {"Row", "Events"}, byCount(perRow))
        + table(QStringLiteral("Events per sender"), {"Sender", "Events"}, byCount(perSender));
}

QString acknowledgementTable(const QSqlDatabase &db, qint64 fromMs, qint64 toMs)
{
    Lines lines;
    QSqlQuery query = run(db, Acknowledgements, {fromMs, toMs});
    while (query.next()) {
        const qint64 since = query.value(1).toLongLong();
        const qint64 at = query.value(2).toLongLong();
        QString who = query.value(3).toString();
        if (!query.value(4).toString().isEmpty())
            who += QStringLiteral(" at ") + query.value(4).toString();
        lines << QStringList {query.value(0).toString(), when(since), when(at), durationText(at - since), who,
                              query.value(5).toString()};
    }
    return table(QStringLiteral("Acknowledgements"), {"Row", "Waiting since", "Acknowledged", "After", "By", "How"}, lines);
}

// Each time the link or the sound went, until it came back or the range ended.
Lines outages(const QSqlDatabase &db, const QString &kind, const QString &downState, qint64 fromMs, qint64 toMs)
{
    Lines lines;
    qint64 downSince = -1;
    QString why;
    const auto take = [&](QSqlQuery &query) {
        while (query.next()) {
            const bool down = query.value(1).toString() == downState;
            if (down && downSince < 0) {
                downSince = qMax(fromMs, query.value(0).toLongLong());
                why = query.value(2).toString();
            } else if (!down && downSince >= 0) {
                const qint64 back = query.value(0).toLongLong();
                lines << QStringList {kind, when(downSince), when(back), durationText(back - downSince), why};
                downSince = -1;
            }
        }
    };
    QSqlQuery before = run(db, StateBefore, {kind, fromMs});
    take(before);
    QSqlQuery during = run(db, OutageChanges, {kind, fromMs, toMs});
    take(during);
    if (downSince >= 0)
        lines << QStringList {kind, when(downSince), QStringLiteral("not back"), durationText(toMs - downSince), why};
    return lines;
}

QString outageTable(const QSqlDatabase &db, qint64 fromMs, qint64 toMs)
{
    const Lines lines = outages(db, QStringLiteral("link"), QStringLiteral("down"), fromMs, toMs)
        + outages(db, QStringLiteral("sound"), QStringLiteral("lost"), fromMs, toMs);
    return table(QStringLiteral("Link and sound outages"), {"What", "From", "Until", "Length", "Detail"}, lines);
}

QString actionTable(const QSqlDatabase &db, qint64 fromMs, qint64 toMs)
{
    Lines lines;
    QSqlQuery query = run(db, Actions, {fromMs, toMs});
    while (query.next()) {
        const bool shelve = query.value(5).toString() == QLatin1String("shelve");
        const QString action = query.value(1).toString() == QLatin1String("operator") ? query.value(2).toString()
            : shelve ? QStringLiteral("shelve %1").arg(shelfEnd(query.value(6).toLongLong()))
                     : query.value(5).toString();
        lines << QStringList {when(query.value(0).toLongLong()), action, query.value(3).toString(), query.value(4).toString()};
    }
    return table(QStringLiteral("Operator's actions"), {"When", "Action", "Row", "By"}, lines);
}

} // namespace

QString shiftReportHtml(const QSqlDatabase &db, qint64 fromMs, qint64 toMs)
{
    const QString heading = QStringLiteral("<h1>Shift report</h1><p>From %1 to %2, written %3 by %4.</p>")
                                .arg(when(fromMs), when(toMs), when(QDateTime::currentMSecsSinceEpoch()),
                                     localOperator().toHtmlEscaped());
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Shift report</title></head><body>") + heading
        + standingTables(db, toMs) + eventTables(db, fromMs, toMs) + acknowledgementTable(db, fromMs, toMs)
        + outageTable(db, fromMs, toMs) + actionTable(db, fromMs, toMs) + QStringLiteral("</body></html>");
}
