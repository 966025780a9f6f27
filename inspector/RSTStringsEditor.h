#pragma once
// The string-list editor: the lines as plain text (Memo page) or as name=value rows in an item grid
// (INI page). Switching pages carries the lines across; closing on the INI page takes the grid's rows.
#include <QDialog>
#include <QStringList>

class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TRSItemListEditor;

class TfrmRSStringsEditor : public QDialog {
    Q_OBJECT

public:
    explicit TfrmRSStringsEditor(QWidget* owner = nullptr);
    ~TfrmRSStringsEditor() override;

    QStringList Lines() const;
    void SetLines(const QStringList& value);
    bool MemoVisible() const { return m_memoVisible; }
    void SetMemoVisible(bool value);
    bool INIVisible() const { return m_iniVisible; }
    void SetINIVisible(bool value);

    // "Load..." and "Save...": false when the dialog was cancelled; a file error raises.
    bool LoadClick();
    bool SaveClick();
    // Switching pages (also what the tab bar does).
    void ShowPage(QWidget* page);

    QLabel* lblLineCount = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;
    QTabWidget* pcViews = nullptr;
    QWidget* tsMemo = nullptr;
    QWidget* tsINI = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* StringEditorMenu = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;
    TRSItemListEditor* Grid = nullptr;

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Memo1Change();
    void PageChanged(int index);
    void UpdateTabs(QWidget* changedPage);
    QStringList GridLines() const;

    bool m_memoVisible = true;
    bool m_iniVisible = true;
    QWidget* m_lastPage = nullptr;
};
