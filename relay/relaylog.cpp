#include "relaylog.h"

Q_LOGGING_CATEGORY(lcRelay, "velmar.relay")
