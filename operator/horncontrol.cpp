#include "operator/horncontrol.h"

#include <QLoggingCategory>
#include <QTime>

#include "app/timeunits.h"
#include "operator/alarmlist.h"
#include "operator/alarmlistwindow.h"
#include "operator/linkstatus.h"
#include "operator/operatorbar.h"
#include "operator/rowmenu.h"
#include "operator/traynotifier.h"
#include "sound/sound.h"
#include "sound/soundwatch.h"

Q_LOGGING_CATEGORY(lcOperator, "velmar.operator")

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
        if (settings.alarmList)
            attachAlarmList(names, settings.alarmListKeepMin * MsPerMinute);
        connect(horn, &Horn::rang, this, &HornControl::rang);
        attachRows();
    }
    if (settings.bar) {
        operatorBar = new OperatorBar(horn, link);
        attachMenus();
    }
    if (!settings.tray)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCDebug(lcOperator) << "no system tray on this desktop: no tray icon";
        return;
    }
    tray = new TrayNotifier(window, link);
}

HornControl::~HornControl() = default;

OperatorBar *HornControl::bar() const
{
    return operatorBar;
}

void HornControl::watchSound(SoundWatch *watch)
{
    if (operatorBar)
        operatorBar->showSound(watch);
    if (alarmList) {
        connect(watch, &SoundWatch::notHeardChanged, alarmList, [this](int row, bool notHeard) {
            if (notHeard)
                alarmList->rowNotHeard(row);
        });
    }
    if (!tray)
        return;
    connect(watch, &SoundWatch::ringNotHeard, tray, &TrayNotifier::soundNotHeard);
    connect(watch, &SoundWatch::notHeardChanged, tray, [this, watch] {
        if (!watch->anyNotHeard())
            tray->soundHeard();
    });
}

QWidget *HornControl::alarmWindow() const
{
    return alarmListWindow.get();
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
    if (!horn) {
        rows.at(row)->play();
        emit rang(row);
        return;
    }
    horn->rowMatched(row, sender, event);
    if (alarmList)
        alarmList->eventMatched(row, sender);
}

// The row's button goes to the horn, and the horn's decisions come back to the row.
void HornControl::attachRows()
{
    for (int i = 0; i < rows.size(); ++i) {
        Sound *row = rows.at(i);
        if (horn->isCritical(i))
            row->setCritical(true);
        row->handOverButton();
        connect(row, &Sound::buttonClicked, horn, [this, i] { horn->buttonClicked(i); });
        connect(row, &Sound::ended, horn, [this, i] { horn->rowEnded(i); });
    }
    connect(horn, &Horn::startRow, this, [this](int row) { rows.at(row)->play(); });
    connect(horn, &Horn::stopRow, this, [this](int row) { rows.at(row)->stop(); });
    connect(horn, &Horn::heldBackChanged, this, &HornControl::showStatus);
    connect(horn, &Horn::shelvedChanged, this, &HornControl::showStatus);
    connect(horn, &Horn::waitingForAck, this, [this](int row, bool waiting) {
        rows.at(row)->setWaitingForAck(waiting);
    });
}

void HornControl::attachMenus()
{
    for (int i = 0; i < rows.size(); ++i) {
        Sound *row = rows.at(i);
        row->offerMenu();
        connect(row, &Sound::menuRequested, this, [this, row, i](const QPoint &globalPos) {
            auto *menu = new RowMenu(horn, i, row);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(globalPos);
        });
    }
}

// The list hears of a row's end before the horn, which may ring it again at once.
void HornControl::attachAlarmList(const QStringList &names, int keepMs)
{
    alarmList = new AlarmList(horn, names, keepMs, this);
    for (int i = 0; i < rows.size(); ++i)
        connect(rows.at(i), &Sound::ended, alarmList, [this, i] { alarmList->rowEnded(i); });
    alarmListWindow = std::make_unique<AlarmListWindow>(alarmList);
}

void HornControl::showStatus(int row)
{
    Sound *sound = rows.at(row);
    if (horn->shelves().isShelved(row)) {
        const qint64 remaining = horn->shelves().remainingMs(row);
        sound->setStatusText(remaining > 0 ? tr("Shelved until %1").arg(QTime::currentTime().addMSecs(int(remaining)).toString(QStringLiteral("hh:mm")))
                                           : tr("Shelved"),
                             tr("Rings nothing until unshelved; right-click to unshelve"));
        return;
    }
    const int heldBack = horn->heldBack(row);
    sound->setStatusText(heldBack > 0 ? QStringLiteral("×%1").arg(heldBack) : QString(),
                         tr("Events held back since the row last started"));
}
