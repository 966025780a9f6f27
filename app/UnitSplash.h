#pragma once
// TFormSplash: the start-up window with the version, a percentage and a gauge.
#include <QWidget>
#include <memory>

namespace Ui {
class TFormSplash;
}

class TFormSplash : public QWidget {
    Q_OBJECT

public:
    explicit TFormSplash(QWidget* parent = nullptr);
    ~TFormSplash() override;

    Ui::TFormSplash& ui() { return *m_ui; }
    // Counts the gauge from 0 to 100 % in 101 steps of TotalMs / 100 ms each.
    void ShowProgress(int TotalMs);

private:
    void FormCreate();

    std::unique_ptr<Ui::TFormSplash> m_ui;
};
