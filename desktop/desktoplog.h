#pragma once

#include <QLoggingCategory>

// Debug output of Velmar's place on the desktop (velmar.desktop).
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)
