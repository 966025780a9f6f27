#pragma once
// Where the program's windows appear.
class QWidget;

// Centres the window on the screen it is on (the primary screen before it has one); a window larger
// than the screen is placed at the screen's top or left edge instead.
void CentreOnScreen(QWidget& window);
// Centres the window each time the program shows it, as its form asks; the filter that does it is a
// child of the window. A window larger than the screen's free area is first fitted to it (ScreenFit.h),
// and again, while shown, when it comes to another screen or its screen changes size.
void CentreOnEveryShow(QWidget& window);
// A window that keeps the place it was given: fitted to the screen's free area on each show, and moved
// onto the area when it would reach beyond it.
void FitOnEveryShow(QWidget& window);
