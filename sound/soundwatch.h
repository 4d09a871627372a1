#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "sound/soundoutput.h"

// Whether Velmar's sounds can be heard: the one place that knows the state of the sound
// output, and which rows could not be sounded since it went. It writes the output's lines
// (found, lost, back) and the rows' "Could not sound" lines; when the output is back it asks
// for every row that was not heard meanwhile to ring once more.
class SoundWatch : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SoundWatch)

public:
    SoundWatch(const QStringList &rowNames, QObject *parent);

    const SoundOutput &output() const;
    // True unless the output is known to be gone; before the first finding a sound is tried.
    bool canBeHeard() const;
    // When the output went; invalid while it can be heard.
    QDateTime lostSince() const;
    bool isNotHeard(int row) const;
    bool anyNotHeard() const;

public slots:
    void setOutput(const SoundOutput &output);
    // The event matched the row, which rings for it unless the horn holds it back: a play that
    // starts before eventDone() is the event's ring.
    void eventRings(int row, const QString &sender, const QString &event);
    void eventDone();
    // The row's player started, played to its end, or failed.
    void rowStarted(int row);
    void rowHeard(int row);
    void rowFailed(int row, const QString &reason);
    // The operator clicked the row's button: its mark has been seen, and goes.
    void rowNoticed(int row);

signals:
    void outputChanged();
    void notHeardChanged(int row, bool notHeard);
    // One ring could not be heard.
    void ringNotHeard(const QString &sender, const QString &event);
    // A row that could not be heard while the output was gone, to ring now that it is back.
    void ringAgain(int row, const QString &sender, const QString &event);
    void log(const QString &msg, const QColor &c);

private:
    // Where the row's ring for an event stands.
    enum class Ring { None, Due, Playing };
    struct Row
    {
        QString name;
        Ring ring = Ring::None;
        bool notHeard = false;
        QString sender;
        QString event;
    };

    void notHeard(int row, const QString &reason);
    void setNotHeard(int row, bool notHeard);
    void outputLost();
    void outputBack();
    bool validRow(int row) const;

    QVector<Row> rows;
    SoundOutput current;
    QDateTime since;
};
