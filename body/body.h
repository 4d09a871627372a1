#pragma once

#include <QFrame>
#include <QVector>

#include "log/logarea.h"
#include "ui_body.h"

class AMsg;
class QGridLayout;
class Sound;
class Stars;

// The main window: the Stars settings panel, the "Log" switch and the sound rows.
class Body : public QFrame, private Ui_Body
{
    Q_OBJECT
    Q_DISABLE_COPY(Body)

public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

private slots:
    void starsIsReady();
    void anyAsk(const AMsg &msg);
    void anyEvent(const AMsg &msg);
    void anyAns(const AMsg &msg);

private:
    void setupStars();
    void setupSounds();

    LogArea logArea;
    Stars *stars = nullptr;
    QGridLayout *soundLayout = nullptr;
    QVector<Sound *> sounds;
};
