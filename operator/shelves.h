#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

// The rows the operator has shelved. A shelved row rings nothing until it is unshelved or, on
// a timed shelf, until its time is up; the shelf then ends by itself. Knows the rows by index
// and name, as the horn does, and keeps nothing across a restart.
class Shelves : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Shelves)

public:
    // Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;
    // The length of a shelf that lasts until the row is unshelved.
    static constexpr qint64 UntilUnshelved = 0;

    Shelves(const QStringList &rowNames, Clock clock, QObject *parent = nullptr);

    bool isShelved(int row) const;
    // What is left of the row's timed shelf: 0 when it is not shelved or shelved until unshelved.
    qint64 remainingMs(int row) const;

    // Shelves the row for `ms`, or until unshelved; a shelved row gets its new length.
    void shelve(int row, qint64 ms);
    void unshelve(int row);
    // Ends every timed shelf whose time is up.
    void endExpired();

signals:
    void changed(int row, bool shelved);
    void log(const QString &msg, const QColor &c);

private:
    struct Shelf
    {
        bool on = false;
        qint64 sinceMs = 0;
        qint64 endMs = 0; // UntilUnshelved: no end
    };

    void end(int row, const QString &line);
    void armTimer();

    const QStringList names;
    const Clock clock;
    QVector<Shelf> shelves;
    // Fires when the next timed shelf is up.
    QTimer timer;
};
