#pragma once
// TFormLog: the traffic log window; diagnostics append "TX:" and "RX:" lines to memLog.
#include <QDialog>
#include <memory>

namespace Ui {
class TFormLog;
}

class TFormLog : public QDialog {
    Q_OBJECT

public:
    explicit TFormLog(QWidget* parent = nullptr);
    ~TFormLog() override;

    Ui::TFormLog& ui() { return *m_ui; }
    // Appends one line to the memo.
    void AddLine(const QString& line);

    void btnLimparClick();
    void btnFecharLogClick();

private:
    std::unique_ptr<Ui::TFormLog> m_ui;
};
