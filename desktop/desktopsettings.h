#pragma once

// How Velmar takes part in the desktop session, as the configuration switches it on.
struct DesktopSettings
{
    // Desktop notifications for ringing rows, a lost link and a peer desk that cannot sound.
    bool notify = false;
    // The control interface on the session bus.
    bool dbus = false;
    // A second Velmar for the same node and server raises the first one's window and ends.
    bool singleInstance = false;
};
