#include "stars/starslog.h"

Q_LOGGING_CATEGORY(lcStars, "velmar.stars")
