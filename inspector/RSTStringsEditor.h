#pragma once
// The string-list editor: the lines as plain text (Memo page) or as name=value rows in an item grid
// (INI page). Switching pages carries the lines across; closing on the INI page takes the grid's rows.
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <vector>

class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TRSItemListEditor;
class TRSItemProp;

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
    // The INI page shows the lines as rows: the name before the first "=" and the value after it, or the
    // whole line as a name. Blank lines have no row. The lines come back from the rows unchanged except
    // where the user changed, added or deleted rows.
    void FillGrid(const QStringList& lines);
    QStringList GridLines() const;
    void SetMemoLines(const QStringList& lines);

    struct TIniLine {
        QString text;
        QPointer<TRSItemProp> row; // null for a blank line, or once the user deleted the row
        bool shown = false;        // the line had a row
        QString name;              // name and value as the row showed them at first
        QString value;
        bool hasEquals = false;
    };
    std::vector<TIniLine> m_iniLines;

    bool m_memoVisible = true;
    bool m_iniVisible = true;
    QWidget* m_lastPage = nullptr;
};
