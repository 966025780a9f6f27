#pragma once
// TFormDev7610BR: the two-line energy-meter view that the main window embeds for model 100 devices.
// Diagnostics feed it the twelve meter registers of each line through UpdateLine.
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

namespace Ui {
class TFormDev7610BR;
}
class QPainter;
class TCustomDrawGrid;
class TRegisterArray;
class TStringGrid;

class TFormDev7610BR : public QWidget {
    Q_OBJECT

public:
    // How a value row is drawn.
    enum TRowKind { rkNumber = 1, rkOnOff = 3 };
    // Display kinds of the supervision thread that address the two lines.
    static constexpr int KindLine1 = 7;
    static constexpr int KindLine2 = 8;
    static constexpr int RowCount = 12;

    explicit TFormDev7610BR(QWidget* parent = nullptr);
    ~TFormDev7610BR() override;

    Ui::TFormDev7610BR& ui() { return *m_ui; }

    // Writes register r of a reply, in decimal, into value row r of line 1 (kind 7) or line 2 (kind 8).
    void UpdateLine(const TRegisterArray& Registers, int Kind);
    // After a failed poll of a line its values are drawn as not current, until a good reply (current).
    void SetLineCurrent(int Kind, bool current);
    bool LineCurrent(int Kind) const { return Kind == KindLine2 ? m_lineCurrent[1] : m_lineCurrent[0]; }

    void sgLine1DrawCell(TCustomDrawGrid* Sender, int ACol, int ARow, const QRect& Rect, QPainter& Canvas);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TRowLabel {
        QString Text;
        TRowKind Kind;
    };

    void FormCreate();
    void FormShow();
    void FillLabels();
    // The label column as wide as the widest one-line label, the value column the rest.
    static void FitColumns(TStringGrid& grid);

    std::unique_ptr<Ui::TFormDev7610BR> m_ui;
    std::vector<TRowLabel> m_labels;
    bool m_lineCurrent[2] = {true, true};
};
