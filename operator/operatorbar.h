#pragma once

#include <QFrame>
#include <QPair>
#include <QTimer>
#include <QVector>

#include "operator/ui_operatorbar.h"

class AlarmModel;
class DeskLink;
class LinkStatus;
class QLabel;
class SoundWatch;

// The operator's bar below the main window's rows: silence, mute and snooze, the time left
// of a snooze, the link, and the counters since start. Escape silences, Ctrl+M mutes.
class OperatorBar : public QFrame, private Ui_OperatorBar
{
    Q_OBJECT
    Q_DISABLE_COPY(OperatorBar)

public:
    OperatorBar(AlarmModel *alarms, LinkStatus *link, QWidget *parent = nullptr);

    // Adds "sound: unavailable since ..." after the counters, shown while the output is gone.
    void showSound(SoundWatch *watch);
    // Adds the peer desks that cannot sound above it, shown while there are any.
    void showDesks(DeskLink *desks);

private:
    void showQuiet();
    void showLink();
    void showCounters();
    // Each snooze button with its length in minutes.
    QVector<QPair<QPushButton *, int>> snoozeButtons() const;

    void showSoundOutput();
    void showSilentDesks();
    // A red label at the bar's right end.
    QLabel *addFailureLabel(const QString &name, int row);

    AlarmModel *alarms;
    LinkStatus *link;
    SoundWatch *sound = nullptr;
    QLabel *soundLabel = nullptr;
    DeskLink *desks = nullptr;
    QLabel *desksLabel = nullptr;
    // Counts a snooze down to the second.
    QTimer countdown;
};
