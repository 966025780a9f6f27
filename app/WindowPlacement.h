#pragma once
// Where the program's windows appear.
class QWidget;

// Centres the window on the screen it is on (the primary screen before it has one); a window larger
// than the screen is placed at the screen's top or left edge instead.
void CentreOnScreen(QWidget& window);
// Centres the window each time the program shows it, as its form asks; the filter that does it is a
// child of the window.
void CentreOnEveryShow(QWidget& window);
