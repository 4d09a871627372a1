#pragma once

#include <QStringList>

#include "alarm/alarmsettings.h"
#include "journal/journalsettings.h"
#include "desktop/desktopsettings.h"
#include "operator/operatorsettings.h"
#include "operator/runsettings.h"
#include "sound/alarmsound.h"
#include "stars/linktiming.h"

class Config;

// The optional keys of the configuration, read once at start-up and held to their bounds: the
// one place that reads them, for the main window that composes the features. Every one is off
// when its key is absent, so a configuration without them behaves as the plain client does.
struct Settings
{
    LinkTiming link;
    // No file: no link-loss alarm.
    AlarmSound linkLostSound;
    bool showSoundErrors = false;
    // Watches the sound output and tells when an alarm could not be heard.
    bool soundWatch = false;
    // LOG_FILE [name]: the log file is written from the start, under this name when given.
    bool logToFile = false;
    QString logFileName;
    AlarmSettings alarms;
    OperatorSettings operatorViews;
    RunSettings runs;
    // DESKS node ...: the peer desks, whose acknowledgements count here.
    QStringList desks;
    JournalSettings journal;
    DesktopSettings desktop;
    // Whom and where this Velmar logs in as at start-up (NAME_ON_STARS, STARS_IP, STARS_PORT): one
    // Velmar for each in a desktop session.
    QString nodeName;
    QString host;
    QString port;

    // True when anything watches the link: reconnection, time-outs or the link-loss alarm.
    bool supervisesLink() const;

    // Reads the keys; a value that is not a whole number or lies outside its bounds gives one
    // debug line and is replaced by its default or its nearest bound.
    static Settings fromConfig(const Config &config);
};
