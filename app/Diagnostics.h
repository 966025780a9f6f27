#pragma once
// TDiagnosticsView: the live half of the main window (gbDiagnostics). Starting diagnostics builds one
// grid per channel group of the device chosen in cbDiagnostic, gives the supervision thread its poll
// tasks and lets the user toggle digital outputs, write analog output values and preset counters while
// the thread runs; the thread's display writes the replies back here (TSupervisionHost).
#include "app/OutputWrites.h"
#include "comm/SupervisionThread.h"
#include <QObject>
#include <QPixmap>
#include <map>

namespace Ui {
class TFormMain;
}
class QGroupBox;
class QPainter;
class TCustomDrawGrid;
class TDiagnosticStringGrid;
class TFormMain;
class TRemoteIO;

class TDiagnosticsView : public QObject, public TSupervisionHost {
    Q_OBJECT

public:
    // Images of ImageListSimulation the digital grids draw.
    static constexpr int ImageOutputOn = 4;
    static constexpr int ImageInputOn = 5;
    static constexpr int ImageOff = 6;
    // Grids of up to this many data rows show them all without scrolling.
    static constexpr int RowsShownWhole = 10;

    // Builds the six grids into their group boxes and binds the diagnostics button and grid events.
    explicit TDiagnosticsView(TFormMain* form);
    // Frees a supervision that ended by itself and was never stopped.
    ~TDiagnosticsView() override;

    TDiagnosticStringGrid* sgAnalogicInput = nullptr;
    TDiagnosticStringGrid* sgAnalogicOutput = nullptr;
    TDiagnosticStringGrid* sgDigitalInput = nullptr;
    TDiagnosticStringGrid* sgDigitalOutput = nullptr;
    TDiagnosticStringGrid* sgCanJ = nullptr;
    TDiagnosticStringGrid* sgTemperature = nullptr;

    // The diagnostics button's Tag: 1 while diagnostics run (until the button stops them), else 0.
    int btDiagnosticTag = 0;
    // Start when stopped (btDiagnosticTag 0), stop when running.
    void btDiagnosticClick();

    // Builders, in the order the start runs them; each hands back the last task it added (or nullptr).
    TCommunicationTask* SetAnalogicInput(TRemoteIO* device);
    TCommunicationTask* SetAnalogicOutput(TRemoteIO* device);
    TCommunicationTask* SetDigitalInput(TRemoteIO* device);
    TCommunicationTask* SetDigitalOutput(TRemoteIO* device);
    TCommunicationTask* SetCanJ(TRemoteIO* device);
    TCommunicationTask* SetTemperature(TRemoteIO* device);
    TCommunicationTask* SetCODI(TRemoteIO* device);

    void sgDigitalInputDrawCell(int col, int row, const QRect& rect, QPainter& canvas);
    void sgDigitalOutputDrawCell(int col, int row, const QRect& rect, QPainter& canvas);
    void sgCanJDrawCell(int col, int row, const QRect& rect, QPainter& canvas);

    void sgAnalogicOutputGetEditText(int row);
    void sgAnalogicOutputSelectCell(int col, int row, bool& canSelect);
    void sgAnalogicOutputKeyPress(QChar& key);
    void sgDigitalInputGetEditText(int row);
    void sgDigitalInputSelectCell(int col, int row, bool& canSelect);
    void sgDigitalInputKeyDown(int& key);
    void sgDigitalOutputMouseDown();
    void sgDigitalOutputMouseUp();
    void sgDigitalOutputKeyDown(int& key);
    void sgDigitalOutputKeyUp();

    // Live writes: each hands one write task to the running supervision.
    void WriteAnalogOutputValue();
    void WriteDigitalInputCounter();
    void ToggleDigitalOutput();

    // The energy-meter view fills the data panel for model 100.
    void ShowEnergyMeterView();
    void HideEnergyMeterView();

    // Column widths of the grids after a size change.
    void Relayout();
    // The width the digital input box needs to show its grid's columns whole.
    int DigitalInputMinimumWidth() const;

    // TSupervisionHost
    TStringGrid* Grid(TDiagnosticGrid grid) override;
    int EditingRow(TDiagnosticGrid grid) override;
    void SetStatusPanel(int panel, const QString& text) override;
    void AddLogLine(const QString& line) override;
    void UpdateEnergyMeter(const TRegisterArray& registers, int kind) override;
    void SupervisionEnded() override;
    void ResultShown(const TCommunicationTask& task, bool ok) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StartDiagnostics();
    void StopDiagnostics();
    // The device of the selected combo entry, or nullptr.
    TRemoteIO* SelectedDevice() const;
    QList<QGroupBox*> GroupBoxes() const;
    void HideGroupBoxes();
    // Shows the box and its grid with one fixed row and column, the headers and the channel names.
    void PrepareGrid(QGroupBox* box, TDiagnosticStringGrid* grid, const QStringList& headers,
                     const QStringList& names);
    // The analog and temperature boxes fit their rows.
    void FitBoxHeight(QGroupBox* box, TDiagnosticStringGrid* grid);
    // The height of a box that shows the grid's fixed rows and dataRows data rows whole.
    static int BoxHeightForRows(QGroupBox* box, TDiagnosticStringGrid* grid, int dataRows);
    // A digital box shows up to RowsShownWhole rows without scrolling.
    void FitDigitalBox(QGroupBox* box, TDiagnosticStringGrid* grid);
    QList<TDiagnosticStringGrid*> Grids() const;
    TCommunicationTask* AddPoll(TRemoteIO* device, int function, int number, int count, int column, int kind,
                                int period = 250, int slave = -1);
    // A write task for the running supervision, or nullptr when none runs.
    TCommunicationTask* NewWrite(TRemoteIO* device);
    void CommitWrite();
    QPixmap TransparentImage(int index);
    // The cells a poll's reply feeds are current after a good reply and no longer after a failed one.
    void MarkFedCells(const TCommunicationTask& task, bool current);

    TFormMain* m_form;
    Ui::TFormMain& m_ui;
    std::map<int, QPixmap> m_images;
    // The outputs as the writes handed to the supervision will leave them.
    TOutputWrites m_outputWrites;
};
