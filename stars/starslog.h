#pragma once

#include <QLoggingCategory>

// Debug output of the Stars client (velmar.stars).
Q_DECLARE_LOGGING_CATEGORY(lcStars)
