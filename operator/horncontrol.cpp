#include "operator/horncontrol.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>

#include "operator/linkstatus.h"
#include "operator/operatorbar.h"
#include "operator/traynotifier.h"
#include "sound/sound.h"

Q_LOGGING_CATEGORY(lcOperator, "velmar.operator")

namespace {

// The held-back count stands right of the Play button in the row's grid.
constexpr int HeldBackColumn = 6;

} // namespace

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
        QPushButton *button = row->playButton();
        button->disconnect(row);
        connect(button, &QPushButton::clicked, horn, [this, i] { horn->buttonClicked(i); });
        connect(&row->player(), &QMediaPlayer::mediaStatusChanged, horn, [this, i](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia)
                horn->rowEnded(i);
        });
    }
    connect(horn, &Horn::startRow, this, [this](int row) { rows.at(row)->play(); });
    connect(horn, &Horn::stopRow, this, [this](int row) { rows.at(row)->player().stop(); });
    connect(horn, &Horn::heldBackChanged, this, &HornControl::showHeldBack);
    connect(horn, &Horn::waitingForAck, this, &HornControl::showWaiting);
}

void HornControl::showHeldBack(int row, int count)
{
    if (heldBackLabels.isEmpty())
        heldBackLabels.resize(rows.size());
    QLabel *&label = heldBackLabels[row];
    if (!label) {
        label = new QLabel(rows.at(row));
        label->setObjectName(QStringLiteral("HeldBack"));
        label->setToolTip(tr("Events held back since the row last started"));
        if (auto *grid = qobject_cast<QGridLayout *>(rows.at(row)->layout()))
            grid->addWidget(label, 0, HeldBackColumn);
    }
    label->setText(QStringLiteral("×%1").arg(count));
    label->setVisible(count > 0);
}

void HornControl::showWaiting(int row, bool waiting)
{
    rows.at(row)->playButton()->setText(waiting ? tr("Ack") : QCoreApplication::translate("Sound", "Play"));
}
