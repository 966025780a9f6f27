#pragma once
// Enter presses a focused tool button, as Space does: Qt leaves Enter to push buttons only.
class QAbstractButton;

void PressOnEnter(QAbstractButton* button);
