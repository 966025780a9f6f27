#pragma once
// The draw grid's in-place editor: a single-line edit that the grid places over the current cell, fills
// from GetEditText and writes back through SetEditText as the user types. Edit masks use the class
// library's syntax and are converted to the toolkit's input masks.
#include <QLineEdit>

class TCustomDrawGrid;

// A class-library edit mask ("mask;save-literals;blank") in the toolkit's terms.
struct TEditMaskInfo {
    QString InputMask;        // for QLineEdit::setInputMask; empty for no mask
    bool SaveLiterals = true; // the text keeps the mask's literal characters
    QChar Blank = QLatin1Char('_');
    QVector<bool> Literal; // per displayed position: a literal of the mask
};
TEditMaskInfo ConvertEditMask(const QString& mask);

class TInplaceEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TInplaceEdit(TCustomDrawGrid* grid);
    TCustomDrawGrid* Grid() const { return m_grid; }

    // Reloads text and mask from the grid for its current cell.
    virtual void UpdateContents();
    // Places the editor over a cell rectangle (viewport coordinates) and shows it; an empty rectangle hides.
    void Move(const QRect& rect);
    void UpdateLoc(const QRect& rect);

    QString EditMask() const { return m_editMask; }
    void SetEditMask(const QString& mask);
    // The text as the grid stores it (the mask's literals removed unless the mask saves them).
    QString Text() const;
    // Sets the text from the program (not a user edit).
    void SetText(const QString& value);
    bool Modified() const { return isModified(); }
    void SetModified(bool value) { setModified(value); }
    // Back to the text the editor had when it was last loaded from the grid (or last committed).
    virtual void Reset();
    QString OldValue() const { return m_oldValue; }
    void SetOldValue(const QString& value) { m_oldValue = value; }
    void Deselect() { deselect(); }

    virtual void KeyDown(int& key, Qt::KeyboardModifiers shift);
    virtual void KeyPress(QChar& key);

protected:
    virtual void BoundsChanged();
    // Called after the program set the text.
    virtual void TextSet() {}
    virtual void DblClick();
    // Return true to consume the mouse event.
    virtual bool MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        return false;
    }
    virtual bool MouseMove(Qt::KeyboardModifiers shift, int x, int y) { return false; }
    virtual bool MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) { return false; }
    // Return true when the key event was handled before the editor's own key processing.
    virtual bool PreviewKey(QKeyEvent* event) { return false; }
    virtual void FocusLost() {}
    void SendToGrid(int& key, Qt::KeyboardModifiers shift);
    bool Loading() const { return m_loading; }
    // The text before the last SetText.
    QString TextBeforeSet() const { return m_textBeforeSet; }

    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    template <class F> void Guarded(F&& f);

private:
    void TextChanged();

    TCustomDrawGrid* m_grid;
    QString m_editMask;
    TEditMaskInfo m_mask;
    QString m_oldValue;
    QString m_textBeforeSet;
    bool m_loading = false;
};
