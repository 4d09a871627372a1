#pragma once

// Milliseconds in the units that keys, lines and timers speak of.
constexpr int MsPerSecond = 1000;
constexpr int MsPerMinute = 60 * MsPerSecond;
constexpr int MsPerHour = 60 * MsPerMinute;
