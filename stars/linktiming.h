#pragma once

// How the link is watched. Every interval is in milliseconds; 0 switches that watch off.
struct LinkTiming
{
    int reconnectMs = 0;     // the first delay before trying again; it doubles after each try
    int maxReconnectMs = 0;  // the delay grows no further than this
    int timeoutMs = 0;       // a silent peer, a connection attempt or a log-in takes no longer
};
