#include "classlib/InplaceEdit.h"
#include "classlib/DrawGrid.h"
#include "classlib/SysUtils.h"
#include <QKeyEvent>

namespace {

// Splits a mask at its unescaped field separators.
QStringList MaskFields(const QString& mask) {
    QStringList fields{QString()};
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (c == QLatin1Char('\\') && i + 1 < mask.size()) {
            fields.last() += c;
            fields.last() += mask.at(++i);
        } else if (c == QLatin1Char(';') && fields.size() < 3) {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

bool IsToolkitMaskMeta(QChar c) {
    static const QString meta = QStringLiteral("AaNnXx90Dd#HhBb><![]{}\\;");
    return meta.contains(c);
}

} // namespace

TEditMaskInfo ConvertEditMask(const QString& mask) {
    TEditMaskInfo info;
    if (mask.isEmpty())
        return info;
    const QStringList fields = MaskFields(mask);
    if (fields.size() > 1 && !fields.at(1).isEmpty())
        info.SaveLiterals = fields.at(1).at(0) != QLatin1Char('0');
    if (fields.size() > 2 && !fields.at(2).isEmpty())
        info.Blank = fields.at(2).at(0);
    const QString& body = fields.at(0);
    QString out;
    auto literal = [&](QChar c) {
        if (IsToolkitMaskMeta(c))
            out += QLatin1Char('\\');
        out += c;
        info.Literal.append(true);
    };
    auto field = [&](char qt) {
        out += QLatin1Char(qt);
        info.Literal.append(false);
    };
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        switch (c.unicode()) {
        case '!': // leading-blank trimming has no counterpart in the toolkit
            break;
        case '>':
            out += QLatin1Char('>');
            break;
        case '<':
            if (i + 1 < body.size() && body.at(i + 1) == QLatin1Char('>')) {
                out += QLatin1Char('!'); // "<>": no case conversion
                ++i;
            } else {
                out += QLatin1Char('<');
            }
            break;
        case '\\':
            if (i + 1 < body.size())
                literal(body.at(++i));
            break;
        case 'L':
            field('A');
            break;
        case 'l':
            field('a');
            break;
        case 'A':
            field('N');
            break;
        case 'a':
            field('n');
            break;
        case 'C':
            field('X');
            break;
        case 'c':
            field('x');
            break;
        case '0':
            field('9');
            break;
        case '9':
            field('0');
            break;
        case '#':
            field('#');
            break;
        case '_':
            literal(QLatin1Char(' '));
            break;
        default:
            literal(c);
            break;
        }
    }
    if (info.Literal.isEmpty())
        return TEditMaskInfo{};
    info.InputMask = out + QLatin1Char(';') + info.Blank;
    return info;
}

TInplaceEdit::TInplaceEdit(TCustomDrawGrid* grid) : QLineEdit(grid->viewport()), m_grid(grid) {
    setFrame(false);
    hide();
    connect(this, &QLineEdit::textChanged, this, [this] { TextChanged(); });
}

template <class F> void TInplaceEdit::Guarded(F&& f) {
    try {
        f();
    } catch (...) {
        m_grid->HandleException(std::current_exception());
    }
}

void TInplaceEdit::UpdateContents() {
    m_loading = true;
    SetText(QString());
    SetEditMask(m_grid->GetEditMask(m_grid->Col(), m_grid->Row()));
    SetText(m_grid->GetEditText(m_grid->Col(), m_grid->Row()));
    const int limit = m_grid->GetEditLimit();
    setMaxLength(limit > 0 ? limit : 32767);
    m_oldValue = Text();
    setModified(false);
    m_loading = false;
}

void TInplaceEdit::SetEditMask(const QString& mask) {
    if (mask == m_editMask)
        return;
    m_editMask = mask;
    m_mask = ConvertEditMask(mask);
    setInputMask(m_mask.InputMask);
}

QString TInplaceEdit::Text() const {
    if (m_mask.InputMask.isEmpty())
        return text();
    const QString shown = displayText();
    QString result;
    for (int i = 0; i < shown.size(); ++i) {
        const bool isLiteral = i < m_mask.Literal.size() && m_mask.Literal.at(i);
        if (isLiteral) {
            if (m_mask.SaveLiterals)
                result += shown.at(i);
        } else if (shown.at(i) != m_mask.Blank) {
            result += shown.at(i);
        }
    }
    return result;
}

void TInplaceEdit::SetText(const QString& value) {
    const bool wasModified = isModified();
    m_textBeforeSet = text();
    setText(value);
    setModified(wasModified);
    TextSet();
}

void TInplaceEdit::Reset() {
    if (!isModified())
        return;
    SetText(m_oldValue);
    setModified(false);
}

void TInplaceEdit::Move(const QRect& rect) {
    if (rect.isEmpty()) {
        hide();
        return;
    }
    const bool moved = geometry() != rect;
    setGeometry(rect);
    if (moved)
        BoundsChanged();
    if (isHidden()) {
        show();
        if (m_grid->hasFocus())
            setFocus();
    }
}

void TInplaceEdit::UpdateLoc(const QRect& rect) {
    if (rect.isEmpty()) {
        hide();
        return;
    }
    setGeometry(rect);
    BoundsChanged();
    if (isHidden())
        show();
}

void TInplaceEdit::BoundsChanged() {
    setTextMargins(2, 0, 0, 0);
}

void TInplaceEdit::SendToGrid(int& key, Qt::KeyboardModifiers shift) {
    m_grid->KeyDown(key, shift);
    key = 0;
}

void TInplaceEdit::KeyDown(int& key, Qt::KeyboardModifiers shift) {
    const bool forward = (m_grid->Options() & goAlwaysShowEditor) != 0;
    const bool ctrl = shift & Qt::ControlModifier;
    const bool noSelection = !hasSelectedText();
    const bool leftSide = noSelection && cursorPosition() == 0;
    const bool rightSide = noSelection && cursorPosition() == text().size();
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Escape:
        SendToGrid(key, shift);
        break;
    case Qt::Key_Insert:
        if (shift == Qt::NoModifier)
            SendToGrid(key, shift);
        else if (shift == Qt::ShiftModifier && !m_grid->CanEditModify())
            key = 0;
        break;
    case Qt::Key_Left:
    case Qt::Key_Home:
        if (forward && (ctrl || leftSide))
            SendToGrid(key, shift);
        break;
    case Qt::Key_Right:
    case Qt::Key_End:
        if (forward && (ctrl || rightSide))
            SendToGrid(key, shift);
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!(shift & Qt::AltModifier))
            SendToGrid(key, shift);
        break;
    case Qt::Key_Delete:
        if (ctrl)
            SendToGrid(key, shift);
        else if (!m_grid->CanEditModify())
            key = 0;
        break;
    default:
        break;
    }
    if (key != 0 && m_grid->OnKeyDown)
        m_grid->OnKeyDown(m_grid, key, shift);
}

void TInplaceEdit::KeyPress(QChar& key) {
    m_grid->KeyPress(key);
    if (key.unicode() >= 32 && !m_grid->CanEditAcceptKey(key))
        key = QChar(0);
    switch (key.unicode()) {
    case 0:
        break;
    case '\t':
    case 27:
        key = QChar(0);
        break;
    case '\r':
        selectAll();
        key = QChar(0);
        break;
    default:
        if ((key.unicode() >= 32 || key.unicode() == 8) && !m_grid->CanEditModify())
            key = QChar(0);
        break;
    }
}

void TInplaceEdit::DblClick() {
    m_grid->DblClick();
}

bool TInplaceEdit::event(QEvent* e) {
    // Tab moves between the grid's cells when the grid takes tabs; otherwise it leaves the grid for the
    // window's next control (the grid's exit validates the text and keeps the focus when it is refused).
    if (e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (TCustomDrawGrid::IsLeavingTab(ke, m_grid->Options())) {
            const bool back = ke->key() == Qt::Key_Backtab || (ke->modifiers() & Qt::ShiftModifier);
            bool checked = false;
            Guarded([&] {
                int key = ke->key();
                KeyDown(key, ke->modifiers() & ~Qt::KeypadModifier);
                checked = true;
            });
            if (checked)
                m_grid->FocusNeighbour(!back);
            return true;
        }
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QLineEdit::event(e);
}

void TInplaceEdit::keyPressEvent(QKeyEvent* event) {
    Guarded([&] {
        if (PreviewKey(event))
            return;
        int key = event->key();
        const Qt::KeyboardModifiers shift = event->modifiers() & ~Qt::KeypadModifier;
        KeyDown(key, shift);
        if (key == 0)
            return;
        QString chars = event->text();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            chars = QStringLiteral("\r");
        else if (key == Qt::Key_Escape)
            chars = QString(QChar(27));
        else if (key == Qt::Key_Tab)
            chars = QStringLiteral("\t");
        else if (key == Qt::Key_Backspace)
            chars = QString(QChar(8));
        if (chars.size() == 1) {
            QChar ch = chars.at(0);
            KeyPress(ch);
            if (ch.isNull())
                return;
        } else if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) {
            if (!m_grid->CanEditModify())
                return;
        }
        QLineEdit::keyPressEvent(event);
    });
}

void TInplaceEdit::mousePressEvent(QMouseEvent* event) {
    bool consumed = false;
    Guarded([&] {
        const QPoint p = event->position().toPoint();
        consumed = MouseDown(event->button(), event->modifiers(), p.x(), p.y());
    });
    if (!consumed)
        QLineEdit::mousePressEvent(event);
}

void TInplaceEdit::mouseMoveEvent(QMouseEvent* event) {
    bool consumed = false;
    Guarded([&] {
        const QPoint p = event->position().toPoint();
        consumed = MouseMove(event->modifiers(), p.x(), p.y());
    });
    if (!consumed)
        QLineEdit::mouseMoveEvent(event);
}

void TInplaceEdit::mouseReleaseEvent(QMouseEvent* event) {
    bool consumed = false;
    Guarded([&] {
        const QPoint p = event->position().toPoint();
        consumed = MouseUp(event->button(), event->modifiers(), p.x(), p.y());
    });
    if (!consumed)
        QLineEdit::mouseReleaseEvent(event);
}

void TInplaceEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Guarded([&] { DblClick(); });
}

void TInplaceEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Guarded([&] { FocusLost(); });
    m_grid->EditorFocusOut(event);
}

void TInplaceEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
}

void TInplaceEdit::TextChanged() {
    if (m_loading)
        return;
    Guarded([&] { m_grid->UpdateText(); });
}
