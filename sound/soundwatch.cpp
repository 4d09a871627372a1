#include "sound/soundwatch.h"

#include <algorithm>

#include "app/durationtext.h"
#include "log/logcolours.h"

SoundWatch::SoundWatch(const QStringList &rowNames, QObject *parent)
    : QObject(parent)
{
    rows.resize(rowNames.size());
    for (int row = 0; row < rows.size(); ++row)
        rows[row].name = rowNames.at(row);
}

const SoundOutput &SoundWatch::output() const
{
    return current;
}

bool SoundWatch::canBeHeard() const
{
    return current.state != SoundOutput::State::Lost;
}

QDateTime SoundWatch::lostSince() const
{
    return canBeHeard() ? QDateTime() : since;
}

bool SoundWatch::isNotHeard(int row) const
{
    return validRow(row) && rows.at(row).notHeard;
}

bool SoundWatch::anyNotHeard() const
{
    return std::any_of(rows.cbegin(), rows.cend(), [](const Row &row) { return row.notHeard; });
}

// One line per change between heard and not heard; a new device while one can be heard is
// named too, but another reason while none can is not worth a line.
void SoundWatch::setOutput(const SoundOutput &output)
{
    if (output == current || output.state == SoundOutput::State::Unknown)
        return;
    const SoundOutput previous = current;
    current = output;
    if (output.state == SoundOutput::State::Lost) {
        if (previous.state != SoundOutput::State::Lost) {
            since = QDateTime::currentDateTime();
            emit log(QStringLiteral("Sound output lost: %1").arg(output.text), LogColours::Failure);
            outputLost();
        }
    } else if (previous.state == SoundOutput::State::Lost) {
        outputBack();
    } else {
        emit log(QStringLiteral("Sound output: %1").arg(output.text), LogColours::Notice);
    }
    emit outputChanged();
}

void SoundWatch::eventRings(int row, const QString &sender, const QString &event)
{
    if (!validRow(row))
        return;
    Row &r = rows[row];
    r.ring = Ring::Due;
    r.sender = sender;
    r.event = event;
}

void SoundWatch::eventDone()
{
    for (Row &r : rows) {
        if (r.ring == Ring::Due)
            r.ring = Ring::None;
    }
}

// A play that no event asked for is the operator's own: it ends the row's mark.
void SoundWatch::rowStarted(int row)
{
    if (!validRow(row))
        return;
    if (rows.at(row).ring != Ring::Due) {
        rowNoticed(row);
        return;
    }
    rows[row].ring = Ring::Playing;
    if (!canBeHeard())
        notHeard(row, current.text);
}

void SoundWatch::rowHeard(int row)
{
    if (!validRow(row) || rows.at(row).ring != Ring::Playing)
        return;
    rows[row].ring = Ring::None;
    setNotHeard(row, false);
}

void SoundWatch::rowNoticed(int row)
{
    if (validRow(row))
        setNotHeard(row, false);
}

void SoundWatch::rowFailed(int row, const QString &reason)
{
    if (validRow(row) && rows.at(row).ring == Ring::Playing)
        notHeard(row, reason);
}

// One line per ring: the ring is over once it is known not to be heard.
void SoundWatch::notHeard(int row, const QString &reason)
{
    Row &r = rows[row];
    r.ring = Ring::None;
    emit log(QStringLiteral("Could not sound [%1] for %2 %3: %4").arg(r.name, r.sender, r.event, reason),
             LogColours::Failure);
    setNotHeard(row, true);
    emit ringNotHeard(r.sender, r.event);
}

void SoundWatch::setNotHeard(int row, bool notHeard)
{
    if (rows.at(row).notHeard == notHeard)
        return;
    rows[row].notHeard = notHeard;
    emit notHeardChanged(row, notHeard);
}

// A ring that plays while the output goes is not heard either.
void SoundWatch::outputLost()
{
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).ring == Ring::Playing)
            notHeard(row, current.text);
    }
}

// The rows ring after the line that announces them, each as its event would ring it.
void SoundWatch::outputBack()
{
    QVector<int> waiting;
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).notHeard)
            waiting.append(row);
    }
    QString line = QStringLiteral("Sound output is back after %1").arg(durationText(since.msecsTo(QDateTime::currentDateTime())));
    if (!waiting.isEmpty())
        line += QStringLiteral("; ringing %1 %2 not heard meanwhile")
                    .arg(waiting.size())
                    .arg(waiting.size() == 1 ? QStringLiteral("alarm") : QStringLiteral("alarms"));
    emit log(line, LogColours::Recovery);
    for (int row : qAsConst(waiting)) {
        setNotHeard(row, false);
        emit ringAgain(row, rows.at(row).sender, rows.at(row).event);
    }
}

bool SoundWatch::validRow(int row) const
{
    return row >= 0 && row < rows.size();
}
