#pragma once

#include <QMetaType>

// The Stars link as every part of the client sees it: no connection, a connection on its way,
// connected and logging in, or logged in.
enum class LinkState { Down, Connecting, LoggingIn, LoggedIn };

Q_DECLARE_METATYPE(LinkState)
