#include "app/DiagnosticStringGrid.h"
#include "classlib/Application.h"
#include <QKeyEvent>

void TDiagnosticStringGrid::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    MouseDownCell = MouseCoord(x, y);
    TStringGrid::MouseDown(button, shift, x, y);
}

void TDiagnosticStringGrid::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    TStringGrid::MouseUp(button, shift, x, y);
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TDiagnosticStringGrid::keyReleaseEvent(QKeyEvent* event) {
    TStringGrid::keyReleaseEvent(event);
    if (event->isAutoRepeat() || !OnKeyUp)
        return;
    // No exception may cross the toolkit's event dispatch.
    try {
        OnKeyUp(this, event->key(), event->modifiers());
    } catch (...) {
        ::HandleException(this);
    }
}

void TDiagnosticStringGrid::Resize() {
    TStringGrid::Resize();
    if (OnResize)
        OnResize(this);
}
