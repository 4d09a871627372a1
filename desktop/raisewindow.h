#pragma once

class QWidget;

// Shows `window` as it was before it was minimised or hidden, on top, and asks for the focus.
void raiseWindow(QWidget *window);
