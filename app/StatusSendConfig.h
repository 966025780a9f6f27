#pragma once
// TFormSaveConfigStatus: the modal progress dialog of Send Config. The caller sets the bar's maximum
// before showing it; the configuration writer writes the label, steps the bar and closes the dialog.
#include <QDialog>
#include <memory>

namespace Ui {
class TFormSaveConfigStatus;
}

class TFormSaveConfigStatus : public QDialog {
    Q_OBJECT

public:
    explicit TFormSaveConfigStatus(QWidget* parent = nullptr);
    ~TFormSaveConfigStatus() override;

    Ui::TFormSaveConfigStatus& ui() { return *m_ui; }
    // The writer's progress text and one step of the bar.
    void ShowProgress(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    std::unique_ptr<Ui::TFormSaveConfigStatus> m_ui;
};
