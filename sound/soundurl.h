#pragma once

#include <QUrl>

class QString;

// The media URL of a sound file. A relative name is taken from the working directory at the
// moment of the call: the media back end cannot open a relative file URL. An empty name gives
// an empty URL, so the player gets no source.
QUrl soundUrl(const QString &fileName);
