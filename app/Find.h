#pragma once
// TFormFindSlave: the modal device search dialog. It takes an address range or the factory-address
// option, clears the network, starts the search and shows its progress.
#include <QDialog>
#include <memory>

namespace Ui {
class TFormFindSlave;
}
class TSearchJob;

class TFormFindSlave : public QDialog {
    Q_OBJECT

public:
    explicit TFormFindSlave(QWidget* parent = nullptr);
    ~TFormFindSlave() override;

    // A search has been started and has not ended.
    bool Searching = false;
    // The dialog closes by itself when the search ends; cleared by Cancel.
    bool SearchRunning = false;

    Ui::TFormFindSlave& ui() { return *m_ui; }

    void btFindClick();
    void btCancelClick();
    void btCloseClick();
    void cbTemporayClick();

    // Called by the search on the main thread before each address: "Find slave " and the bar's
    // position, then one step of the bar.
    void ShowSearchProgress();
    // Called by the search's end handler on the main thread.
    void SearchEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // Shows the error box, puts the option's value back into the edit and focuses it.
    void RejectEdit(const QString& message, class QLineEdit* edit, int value);

    std::unique_ptr<Ui::TFormFindSlave> m_ui;
    std::shared_ptr<TSearchJob> m_job;
};
