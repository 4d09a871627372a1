#pragma once

#include <QColor>

// Colours of the log lines through which the client tells the operator about its own state.
namespace LogColours {

// Something the operator must act on or know about: a lost link, a sound that cannot play.
inline const QColor Failure(200, 0, 0);
// Something the client does by itself, such as the next try to connect.
inline const QColor Notice(170, 100, 0);
// An event that rang nothing because the horn was muted or snoozed, and the horn's own state.
inline const QColor Quiet(128, 0, 160);
// Something that works again.
inline const QColor Recovery(0, 130, 0);

} // namespace LogColours
