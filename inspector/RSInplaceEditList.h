#pragma once
// The item grid's cell editor: a masked edit over the current value cell with an optional ellipsis or
// drop-down button, a pop-up pick list with type-ahead, keyboard aids, and a check of the committed text
// against the row's regular expression.
#include "classlib/InplaceEdit.h"
#include "inspector/GRegularExpression.h"
#include "inspector/RSItemProp.h"
#include <QListWidget>
#include <functional>

class TRSInplaceEditList;

// The drop-down list: a top-level pop-up that never takes the focus from the editor.
class TPopupListbox : public QListWidget {
    Q_OBJECT

public:
    explicit TPopupListbox(TRSInplaceEditList* editor);
    // Type-ahead: selects the first item starting with the keys typed within 2 seconds of each other.
    bool TypeAhead(QChar key);
    QString SearchText() const { return m_searchText; }
    // Milliseconds of a steady clock; replaceable for tests.
    std::function<qint64()> Clock;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TRSInplaceEditList* m_editor;
    QString m_searchText;
    qint64 m_searchTime = 0;
};

class TRSInplaceEditList : public TInplaceEdit {
    Q_OBJECT

public:
    explicit TRSInplaceEditList(TCustomDrawGrid* grid);
    ~TRSInplaceEditList() override;

    TGRegularExpression& Expression() { return m_expression; }
    bool ListVisible() const { return m_listVisible; }
    bool PickListLoaded() const { return m_pickListLoaded; }
    void SetPickListLoaded(bool value) { m_pickListLoaded = value; }
    QStringList& PickListItems() { return m_pickItems; }
    int DropDownRows() const { return m_dropDownRows; }
    void SetDropDownRows(int value) { m_dropDownRows = value; }
    TEditStyle EditStyle() const { return m_editStyle; }
    QWidget* ActiveList() const { return m_activeList; }
    int ButtonWidth() const { return m_buttonWidth; }
    QRect ButtonRect() const;

    std::function<void()> OnEditButtonClick;
    std::function<void(int col, int row, QStringList& items)> OnGetPickListItems;

    virtual TPopupListbox* GetPickList();
    virtual bool IsTextValid();
    // The check of a committed text: raises "\"%s\" is not a valid property value" after undoing the last
    // edit.
    void ValidateOrRaise();
    virtual bool DoDropDownKeys(int& key, Qt::KeyboardModifiers shift);
    virtual void DoEditButtonClick();
    virtual void RestoreContents();
    virtual void LoadPickList();
    virtual void CloseUp(bool accept);
    virtual void DropDown();
    virtual void DoGetPickListItems();

    void UpdateContents() override;
    void KeyDown(int& key, Qt::KeyboardModifiers shift) override;

protected:
    void BoundsChanged() override;
    void TextSet() override;
    void DblClick() override;
    bool MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    bool MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
    bool MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    bool PreviewKey(QKeyEvent* event) override;
    void FocusLost() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void MoveByWord(bool right, bool extend);
    TRSItemProp* CurrentRow() const;

    TGRegularExpression m_expression;
    bool m_listVisible = false;
    bool m_pickListLoaded = false;
    bool m_pressed = false;
    int m_buttonWidth = 16;
    int m_dropDownRows = 8;
    TEditStyle m_editStyle = esSimple;
    QWidget* m_activeList = nullptr;
    TPopupListbox* m_pickList = nullptr; // a child window of the editor
    QStringList m_pickItems;
    bool m_tracking = false;
    bool m_reverting = false;
    QPoint m_lastMouse;
};
