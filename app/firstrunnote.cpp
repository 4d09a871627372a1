#include "app/firstrunnote.h"

#include <QAbstractButton>

FirstRunNote::FirstRunNote(const QStringList &lookedAt, QWidget *parent)
    : QFrame(parent)
{
    setupUi(this);
    Places->setText(lookedAt.join(QLatin1Char('\n')));
    Problem->hide();
    connect(CreateFromExample, &QAbstractButton::clicked, this, &FirstRunNote::createRequested);
}

void FirstRunNote::showProblem(const QString &text)
{
    Problem->setText(text);
    Problem->show();
}
