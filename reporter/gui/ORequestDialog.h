#pragma once
// The request dialog: asks the user how to reproduce the error. Its answer, trimmed, becomes a section
// of the report. OK, Escape and the close box all take the answer.
#include "reporter/gui/ODialogContent.h"
#include "reporter/gui/ODialogFonts.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace reporter {
class TCustomCaption;
}

namespace reporter {

class TRequestDialog final : public QDialog {
    Q_OBJECT
public:
    explicit TRequestDialog(const TDialogOptions& options, QWidget* parent = nullptr);

    // The trimmed answer, set when the dialog ends.
    const std::string& ReproduceText() const { return m_reproduceText; }
    QLabel* Label() const { return m_label; }
    QPlainTextEdit* Edit() const { return m_edit; }
    QPushButton* OkButton() const { return m_ok; }
    // The own caption bar (DialogFlags bit 0x80), else nullptr.
    TCustomCaption* Caption() const { return m_caption; }
    void SetAutoCloseInterval(int milliseconds) { m_autoCloseInterval = milliseconds; }

    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayoutControls();

    int LabelHeight(int width) const;

    const TDialogOptions& m_options;
    TCustomCaption* m_caption = nullptr;
    TDialogFonts m_fonts;
    QLabel* m_label;
    QPlainTextEdit* m_edit;
    QPushButton* m_ok;
    QTimer* m_autoClose;
    int m_autoCloseInterval = 1000;
    int m_autoCloseCount = 0;
    bool m_ended = false;
    std::string m_reproduceText;
};

} // namespace reporter
