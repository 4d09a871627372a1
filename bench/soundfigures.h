#pragma once

#include <QString>

// Milliseconds from an event reaching the main window to its row's player in PlayingState,
// for the first play of a fresh process and the median of the plays after it; with `prepared`
// the window prepares its players (SOUND_WATCH 1); `extraKeys` go at the end of the
// configuration. Runs in the calling process, which must not have built a media player before.
// Negative on failure.
struct PlayTimes
{
    double firstMs = -1;
    double laterMs = -1;
};
PlayTimes measurePlays(bool prepared, const QByteArray &extraKeys, QString &error);

// What the sound watch makes of a private PulseAudio server that is killed and started
// again: seconds from the kill to the lost line and from the new server's first accepted
// connection to the back line, and, over `flaps` one-second changes, the lines written per
// change and the process's open files before and after.
struct WatchRun
{
    double lostSeconds = -1;
    double backSeconds = -1;
    double linesPerChange = -1;
    int filesBefore = -1;
    int filesAfter = -1;
};
WatchRun measureWatch(int flaps, QString &error);
