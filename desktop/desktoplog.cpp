#include "desktop/desktoplog.h"

Q_LOGGING_CATEGORY(lcDesktop, "velmar.desktop")
