#include "desktop/raisewindow.h"

#include <QWidget>

// Only the minimised mark goes: a maximised window comes back maximised.
void raiseWindow(QWidget *window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
