#pragma once

#include <QFrame>
#include <QStringList>

#include "ui_firstrunnote.h"

// The note above the rows when Velmar found no configuration: where it looked, and a button
// that asks for one made from the installed example.
class FirstRunNote : public QFrame, private Ui_FirstRunNote
{
    Q_OBJECT
    Q_DISABLE_COPY(FirstRunNote)

public:
    FirstRunNote(const QStringList &lookedAt, QWidget *parent);

    void showProblem(const QString &text);

signals:
    void createRequested();
};
