#include "app/ButtonEnter.h"
#include <QAbstractButton>
#include <QKeyEvent>

namespace {

class TEnterPresses final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || modifiers != Qt::NoModifier)
            return false;
        auto* button = static_cast<QAbstractButton*>(watched);
        if (button->isEnabled() && !key->isAutoRepeat())
            button->click();
        return true;
    }
};

} // namespace

void PressOnEnter(QAbstractButton* button) {
    // One filter per button, owned by it.
    button->installEventFilter(new TEnterPresses(button));
}
