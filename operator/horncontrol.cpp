#include "operator/horncontrol.h"

#include <QLoggingCategory>

#include "operator/linkstatus.h"
#include "operator/operatorbar.h"
#include "operator/traynotifier.h"
#include "sound/sound.h"

Q_LOGGING_CATEGORY(lcOperator, "velmar.operator")

bool OperatorSettings::usesHorn() const
{
    return bar || horn.holdoffMs > 0 || horn.repeatUntilAck || !horn.criticalEvents.isEmpty() || alarmList;
}

bool OperatorSettings::enabled() const
{
    return usesHorn() || tray;
}

HornControl::HornControl(const OperatorSettings &settings, const QVector<Sound *> &rows, Stars *stars,
                         QWidget *window)
    : QObject(window)
    , rows(rows)
{
    if (settings.bar || settings.tray)
        link = new LinkStatus(stars, this);
    if (settings.usesHorn()) {
        QStringList names;
        for (Sound *row : rows)
            names << row->name();
        horn = new Horn(names, settings.horn, this);
        connect(horn, &Horn::log, this, &HornControl::log);
        connect(horn, &Horn::silenced, this, &HornControl::silenced);
        attachRows();
    }
    if (settings.bar)
        operatorBar = new OperatorBar(horn, link);
    if (!settings.tray)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCDebug(lcOperator) << "no system tray on this desktop: no tray icon";
        return;
    }
    tray = new TrayNotifier(window, link);
}

OperatorBar *HornControl::bar() const
{
    return operatorBar;
}

void HornControl::eventReceived()
{
    eventNotified = false;
    if (horn)
        horn->eventReceived();
}

void HornControl::rowMatched(int row, const QString &sender, const QString &event)
{
    if (tray && !eventNotified) {
        eventNotified = true;
        tray->eventMatched(sender, event);
    }
    if (horn)
        horn->rowMatched(row, sender, event);
    else
        rows.at(row)->play();
}

// The row's button goes to the horn, and the horn's decisions come back to the row.
void HornControl::attachRows()
{
    for (int i = 0; i < rows.size(); ++i) {
        Sound *row = rows.at(i);
        row->handOverButton();
        connect(row, &Sound::buttonClicked, horn, [this, i] { horn->buttonClicked(i); });
        connect(row, &Sound::ended, horn, [this, i] { horn->rowEnded(i); });
    }
    connect(horn, &Horn::startRow, this, [this](int row) { rows.at(row)->play(); });
    connect(horn, &Horn::stopRow, this, [this](int row) { rows.at(row)->stop(); });
    connect(horn, &Horn::heldBackChanged, this, [this](int row, int count) {
        rows.at(row)->setStatusText(count > 0 ? QStringLiteral("×%1").arg(count) : QString(),
                                    tr("Events held back since the row last started"));
    });
    connect(horn, &Horn::waitingForAck, this, [this](int row, bool waiting) {
        rows.at(row)->setLook(waiting ? Sound::Look::WaitingForAck : Sound::Look::Plain);
    });
}
