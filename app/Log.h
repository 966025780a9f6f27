#pragma once
// TFormLog: the traffic log window; diagnostics append "TX:" and "RX:" lines to memLog. The memo keeps
// the newest MaxLines lines only, so that a day of supervision does not grow the program.
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

    // Three lines per request: the last 1,000 requests stay readable, and a full memo costs roughly
    // 2 MB (most of it the laid-out lines).
    static constexpr int MaxLines = 3000;

    Ui::TFormLog& ui() { return *m_ui; }
    // Appends one line to the memo; beyond MaxLines the oldest line goes.
    void AddLine(const QString& line);

    void btnLimparClick();
    void btnFecharLogClick();

private:
    std::unique_ptr<Ui::TFormLog> m_ui;
};
