#pragma once
// Windows on a screen smaller than they are: a window whose frame does not fit the screen's free area
// fits itself to that area, its contents in a scroll area, so that every control can still be reached;
// the control the keyboard focus goes to is scrolled into view.
// A window that fits keeps its size.
#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

// Fits window (with a frame of the given margins) to area and returns its new client size. The first
// call remembers the window's size as the one it was made for; a later, larger area gives it back.
QSize FitToScreen(QWidget& window, const QRect& area, const QMargins& frame);
// The scroll area that holds the window's contents once it had to be fitted, else nullptr.
class QScrollArea* ScreenFitArea(const QWidget& window);
