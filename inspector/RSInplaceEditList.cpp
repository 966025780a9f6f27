#include "inspector/RSInplaceEditList.h"
#include "classlib/Application.h"
#include "classlib/Dialogs.h"
#include "classlib/DrawGrid.h"
#include "classlib/Translation.h"
#include "inspector/RSItemListEditor.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionButton>

namespace {

bool IsWordChar(QChar c) {
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

qint64 SteadyMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

// ---- TPopupListbox -----------------------------------------------------------------------------------

TPopupListbox::TPopupListbox(TRSInplaceEditList* editor)
    : QListWidget(editor), Clock(SteadyMs), m_editor(editor) {
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::Box);
    setUniformItemSizes(true);
    hide();
}

bool TPopupListbox::TypeAhead(QChar key) {
    const ushort code = key.unicode();
    if (code == 8 || code == 27) {
        m_searchText.clear();
        return false;
    }
    if (code < 32 || code > 255)
        return false;
    const qint64 now = Clock();
    if (now - m_searchTime > 2000)
        m_searchText.clear();
    m_searchTime = now;
    if (m_searchText.size() < 32)
        m_searchText += key;
    for (int i = 0; i < count(); ++i)
        if (item(i)->text().startsWith(m_searchText, Qt::CaseInsensitive)) {
            setCurrentRow(i);
            break;
        }
    return true;
}

void TPopupListbox::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && TypeAhead(text.at(0)))
        return;
    QListWidget::keyPressEvent(event);
}

void TPopupListbox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    const bool inside = rect().contains(event->position().toPoint());
    try {
        m_editor->CloseUp(inside);
    } catch (...) {
        ShowMessage(ExceptionMessage(std::current_exception()));
    }
}

// ---- TRSInplaceEditList ------------------------------------------------------------------------------

TRSInplaceEditList::TRSInplaceEditList(TCustomDrawGrid* grid) : TInplaceEdit(grid) {
    m_buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    setMouseTracking(true);
}

TRSInplaceEditList::~TRSInplaceEditList() = default;

TRSItemProp* TRSInplaceEditList::CurrentRow() const {
    auto* grid = qobject_cast<TRSCustomItemListEditor*>(Grid());
    return grid ? grid->CursorItem() : nullptr; // the row of the editor's cell
}

QRect TRSInplaceEditList::ButtonRect() const {
    if (m_editStyle == esSimple)
        return {};
    if (layoutDirection() == Qt::RightToLeft)
        return QRect(0, 0, m_buttonWidth, height());
    return QRect(width() - m_buttonWidth, 0, m_buttonWidth, height());
}

TPopupListbox* TRSInplaceEditList::GetPickList() {
    if (!m_pickList)
        m_pickList = new TPopupListbox(this);
    return m_pickList;
}

bool TRSInplaceEditList::IsTextValid() {
    if (m_expression.Expression().isEmpty())
        return true;
    // "^" and "$" anchor the pattern at the ends of the text; without them any match inside it will do.
    return m_expression.Find(Text()) > 0;
}

void TRSInplaceEditList::ValidateOrRaise() {
    if (!IsTextValid()) {
        const QString invalid = Text();
        undo();
        throw Exception(_("\"%1\" is not a valid property value").arg(invalid));
    }
    if (m_pickListLoaded && m_editStyle == esPickList && m_pickList)
        m_pickList->setCurrentRow(int(m_pickItems.indexOf(Text())));
}

void TRSInplaceEditList::TextSet() {
    // A text the program sets is checked exactly as a typed one; an invalid one is taken back.
    if (Loading() || m_reverting || m_expression.Expression().isEmpty() || IsTextValid())
        return;
    m_reverting = true;
    try {
        SetText(TextBeforeSet());
    } catch (...) {
        m_reverting = false;
        throw;
    }
    m_reverting = false;
}

void TRSInplaceEditList::UpdateContents() {
    // The previous cell's pattern must not judge this cell's stored text while it is loaded.
    m_expression.SetExpression(QString());
    TInplaceEdit::UpdateContents();
    auto* grid = qobject_cast<TRSCustomItemListEditor*>(Grid());
    m_activeList = nullptr;
    m_pickListLoaded = false;
    if (!grid)
        return;
    const int col = grid->Col();
    const int row = grid->Row();
    m_editStyle = grid->GetEditStyle(col, row);
    if (m_editStyle == esPickList)
        m_activeList = GetPickList();
    const TRSFont* f = grid->GetEditorFont(col, row);
    setFont(f->Font());
    QPalette pal = palette();
    pal.setColor(QPalette::Text, f->Color());
    setPalette(pal);
    BoundsChanged();
    try {
        m_expression.SetExpression(grid->GetCellExpression(col, row));
    } catch (const ERXException&) {
        // A pattern that does not compile checks nothing: its error is shown once, here, instead of at
        // every key that commits, which would keep the user in the cell.
        m_expression.SetExpression(QString());
        HandleException(this);
    }
}

void TRSInplaceEditList::BoundsChanged() {
    const int button = m_editStyle == esSimple ? 0 : m_buttonWidth;
    if (layoutDirection() == Qt::RightToLeft)
        setTextMargins(button ? button - 2 : 2, 0, 0, 0);
    else
        setTextMargins(2, 0, button, 0);
    update();
}

void TRSInplaceEditList::DoEditButtonClick() {
    if (OnEditButtonClick)
        OnEditButtonClick();
}

void TRSInplaceEditList::RestoreContents() {
    Reset();
    TCustomDrawGrid* grid = Grid();
    if (grid->Col() >= 0 && grid->Row() >= 0)
        grid->SetEditText(grid->Col(), grid->Row(), Text());
}

void TRSInplaceEditList::LoadPickList() {
    DoGetPickListItems();
}

void TRSInplaceEditList::DoGetPickListItems() {
    if (m_pickListLoaded)
        return;
    m_pickItems.clear();
    if (OnGetPickListItems)
        OnGetPickListItems(Grid()->Col(), Grid()->Row(), m_pickItems);
    m_pickListLoaded = !m_pickItems.isEmpty();
    TPopupListbox* list = GetPickList();
    list->clear();
    list->addItems(m_pickItems);
    list->setCurrentRow(int(m_pickItems.indexOf(Text())));
}

void TRSInplaceEditList::DropDown() {
    if (m_listVisible)
        return;
    TPopupListbox* list = GetPickList();
    DoGetPickListItems();
    list->setPalette(palette());
    list->setFont(font());
    const int count = list->count();
    const int itemHeight = std::max(list->sizeHintForRow(0), fontMetrics().height() + 2);
    const int rows = m_dropDownRows < 1 ? count : std::min(count, m_dropDownRows);
    const int h = count > 0 ? itemHeight * rows + 4 : itemHeight + 4;
    int w = width();
    for (int i = 0; i < count; ++i)
        w = std::max(w, fontMetrics().horizontalAdvance(list->item(i)->text()) + 8 +
                            (count > rows ? list->verticalScrollBar()->sizeHint().width() : 0));
    list->setCurrentRow(int(m_pickItems.indexOf(Text())));
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* screen = QGuiApplication::screenAt(at);
        screen && at.y() + h > screen->geometry().bottom())
        at = mapToGlobal(QPoint(0, 0)) - QPoint(0, h);
    list->setGeometry(QRect(at, QSize(w, h)));
    list->show();
    list->raise();
    m_listVisible = true;
    update();
}

void TRSInplaceEditList::CloseUp(bool accept) {
    TRSItemProp* row = CurrentRow();
    if (row && row->GetReadOnly())
        accept = false;
    if (m_listVisible) {
        QString value;
        if (m_pickList && m_pickList->currentItem())
            value = m_pickList->currentItem()->text();
        if (m_pickList)
            m_pickList->hide();
        m_listVisible = false;
        update();
        if (accept && !value.isEmpty() && value != Text()) {
            SetText(value);
            SetModified(true);
            Grid()->SetEditText(Grid()->Col(), Grid()->Row(), value);
        }
    }
    if (accept) {
        ValidateOrRaise();
        if (auto* grid = qobject_cast<TRSCustomItemListEditor*>(Grid()))
            grid->ValidateEdit();
    }
}

bool TRSInplaceEditList::DoDropDownKeys(int& key, Qt::KeyboardModifiers shift) {
    const bool alt = shift & Qt::AltModifier;
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && alt) {
        if (m_listVisible)
            CloseUp(true);
        else
            DropDown();
        key = 0;
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) && !alt && m_listVisible) {
        CloseUp(key != Qt::Key_Escape);
        key = 0;
        return true;
    }
    return false;
}

bool TRSInplaceEditList::PreviewKey(QKeyEvent* event) {
    if (m_editStyle != esPickList)
        return false;
    int key = event->key();
    if (DoDropDownKeys(key, event->modifiers()))
        return true;
    if (m_listVisible && m_pickList) {
        // While the list is open the keys go to it (arrows move, characters search).
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
        QApplication::sendEvent(m_pickList, &copy);
        return true;
    }
    return false;
}

void TRSInplaceEditList::MoveByWord(bool right, bool extend) {
    const QString t = text();
    int pos = cursorPosition();
    if (right) {
        while (pos < t.size() && IsWordChar(t.at(pos)))
            ++pos;
        while (pos < t.size() && !IsWordChar(t.at(pos)))
            ++pos;
    } else {
        while (pos > 0 && !IsWordChar(t.at(pos - 1)))
            --pos;
        while (pos > 0 && IsWordChar(t.at(pos - 1)))
            --pos;
    }
    if (!extend) {
        setCursorPosition(pos);
        return;
    }
    int anchor = cursorPosition();
    if (hasSelectedText())
        anchor = selectionStart() == cursorPosition() ? selectionEnd() : selectionStart();
    setSelection(anchor, pos - anchor);
}

void TRSInplaceEditList::KeyDown(int& key, Qt::KeyboardModifiers shift) {
    const bool ctrl = shift & Qt::ControlModifier;
    const bool alt = shift & Qt::AltModifier;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl && m_editStyle == esEllipsis) {
            DoEditButtonClick(); // and the Enter inserts nothing
            key = 0;
            return;
        }
        ValidateOrRaise();
        Grid()->KeyDown(key, shift);
        key = 0;
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!alt)
            ValidateOrRaise();
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Up:
    case Qt::Key_Down:
        ValidateOrRaise();
        break;
    case Qt::Key_Insert:
        if (!(shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)))
            ValidateOrRaise();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (ctrl && (Grid()->Options() & goAlwaysShowEditor)) {
            const bool right = key == Qt::Key_Right;
            const bool atEdge = right ? cursorPosition() >= text().size() : cursorPosition() == 0;
            if (!atEdge) {
                MoveByWord(right, shift & Qt::ShiftModifier);
                key = 0;
                return;
            }
        }
        break;
    default:
        break;
    }
    TInplaceEdit::KeyDown(key, shift);
}

void TRSInplaceEditList::DblClick() {
    TRSItemProp* row = CurrentRow();
    if (m_editStyle == esPickList && row && row->GetReadOnly())
        return;
    if (m_editStyle == esSimple || Grid()->OnDblClick) {
        TInplaceEdit::DblClick();
        return;
    }
    if (m_editStyle == esPickList) {
        if (ButtonRect().contains(m_lastMouse))
            return;
        LoadPickList();
        if (!m_pickItems.isEmpty()) {
            const int next = (int(m_pickItems.indexOf(Text())) + 1) % int(m_pickItems.size());
            const QString value = m_pickItems.at(next);
            if (m_pickList)
                m_pickList->setCurrentRow(next);
            SetText(value);
            SetModified(true);
            Grid()->SetEditText(Grid()->Col(), Grid()->Row(), value);
            selectAll();
        }
        if (auto* grid = qobject_cast<TRSCustomItemListEditor*>(Grid()))
            grid->ValidateEdit();
    } else if (m_editStyle == esEllipsis) {
        DoEditButtonClick();
    }
}

bool TRSInplaceEditList::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    m_lastMouse = QPoint(x, y);
    if (button != Qt::LeftButton || m_editStyle == esSimple || !ButtonRect().contains(x, y))
        return false;
    if (m_listVisible) {
        CloseUp(false);
    } else {
        m_tracking = true;
        m_pressed = true;
        update();
        if (m_editStyle == esPickList)
            DropDown();
    }
    return true;
}

bool TRSInplaceEditList::MouseMove(Qt::KeyboardModifiers, int x, int y) {
    setCursor(ButtonRect().contains(x, y) ? Qt::ArrowCursor : Qt::IBeamCursor);
    if (!m_tracking)
        return false;
    const bool over = ButtonRect().contains(x, y);
    if (over != m_pressed) {
        m_pressed = over;
        update();
    }
    if (m_listVisible && m_pickList) {
        const QPoint global = mapToGlobal(QPoint(x, y));
        if (m_pickList->geometry().contains(global)) {
            m_tracking = false;
            m_pressed = false;
            update();
            const QPoint local = m_pickList->viewport()->mapFromGlobal(global);
            if (QListWidgetItem* item = m_pickList->itemAt(local))
                m_pickList->setCurrentItem(item);
        }
    }
    return true;
}

bool TRSInplaceEditList::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    if (!m_tracking)
        return false;
    const bool wasPressed = m_pressed;
    m_tracking = false;
    m_pressed = false;
    update();
    if (m_editStyle == esEllipsis && wasPressed)
        DoEditButtonClick();
    return true;
}

void TRSInplaceEditList::FocusLost() {
    m_tracking = false;
    if (m_listVisible)
        CloseUp(false);
}

void TRSInplaceEditList::paintEvent(QPaintEvent* event) {
    TInplaceEdit::paintEvent(event);
    if (m_editStyle == esSimple)
        return;
    QPainter p(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = ButtonRect();
    option.state |= m_pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    if (m_editStyle == esPickList && !m_activeList)
        option.state &= ~QStyle::State_Enabled;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &p, this);
    if (m_editStyle == esPickList) {
        QStyleOption arrow = option;
        arrow.rect = option.rect.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &p, this);
    } else {
        p.setPen(palette().color(QPalette::ButtonText));
        const QPoint c = option.rect.center() + (m_pressed ? QPoint(1, 1) : QPoint());
        for (int dx : {-4, 0, 4})
            p.fillRect(QRect(c.x() + dx - 1, c.y() + 2, 2, 2), palette().color(QPalette::ButtonText));
    }
}
