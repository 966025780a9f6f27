// The diagnostics view's cells: drawing of the digital push buttons and the CAN values, the editing of
// the value columns, and the live writes that editing and the push buttons hand to the supervision.
#include "app/DiagnosticStringGrid.h"
#include "app/Diagnostics.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "app/Main.h"
#include "classlib/Dialogs.h"
#include "classlib/StrConvert.h"
#include "classlib/Translation.h"
#include "model/DeviceModelTable.h"
#include "model/IOClasses.h"
#include "ui_Main.h"
#include <QBitmap>
#include <QPainter>

namespace {

constexpr int MaxAnalogOutputValue = 4095;
constexpr int MaxCounter = 65534;
constexpr int MaxMixedCounter = 32767;
constexpr int CoilOn = 0xFF00;
// Outputs of the register-word module's mask register.
constexpr int MaskOutputs = 8;

void ErrorBox(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

bool IsModel(const TRemoteIO& device, int code) {
    return device.Information()->ModelCode() == code;
}

// A raised button face: white left and top edges, black right and bottom edges, a grey line one pixel
// inside the right and bottom edges.
void DrawRaisedFrame(QPainter& canvas, const QRect& r) {
    canvas.setPen(Qt::white);
    canvas.drawLine(r.left(), r.top(), r.right(), r.top());
    canvas.drawLine(r.left(), r.top(), r.left(), r.bottom());
    canvas.setPen(Qt::black);
    canvas.drawLine(r.right(), r.top(), r.right(), r.bottom());
    canvas.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    canvas.setPen(QColor(0x80, 0x80, 0x80));
    canvas.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
    canvas.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
}

// A pressed button face: a black outer rectangle and a grey one a pixel inside.
void DrawSunkenFrame(QPainter& canvas, const QRect& r) {
    canvas.setPen(Qt::black);
    canvas.drawRect(r.adjusted(0, 0, -1, -1));
    canvas.setPen(QColor(0x80, 0x80, 0x80));
    canvas.drawRect(r.adjusted(1, 1, -2, -2));
}

} // namespace

// Cell drawing -------------------------------------------------------------------------------------------

QPixmap TDiagnosticsView::TransparentImage(int index) {
    auto it = m_images.find(index);
    if (it != m_images.end())
        return it->second;
    const QList<QPixmap>& images = ImageListSimulation();
    QPixmap image = index >= 0 && index < images.size() ? images.at(index) : QPixmap();
    if (!image.isNull() && !image.hasAlphaChannel()) {
        // An opaque image's top-left pixel is its transparent colour.
        const QImage pixels = image.toImage();
        image.setMask(QBitmap::fromImage(pixels.createMaskFromColor(pixels.pixel(0, 0), Qt::MaskOutColor)));
    }
    return m_images.emplace(index, image).first->second;
}

void TDiagnosticsView::sgDigitalInputDrawCell(int col, int row, const QRect& rect, QPainter& canvas) {
    if (col != 1 || row < 1)
        return;
    canvas.fillRect(rect, sgDigitalInput->palette().color(QPalette::Button));
    DrawRaisedFrame(canvas, rect);
    const TRemoteIO* device = SelectedDevice();
    const TDigitalInput* inputs = device ? device->DigitalInput() : nullptr;
    if (!inputs || row > inputs->GetCount())
        return;
    const bool on = inputs->GetChannel(row - 1)->InputState() != 0;
    if (!sgDigitalInput->IsCurrent(col, row))
        canvas.setOpacity(TStaleCells::PictureOpacity);
    canvas.drawPixmap(rect.left() + 1, rect.top() + 1, TransparentImage(on ? ImageInputOn : ImageOff));
}

void TDiagnosticsView::sgDigitalOutputDrawCell(int col, int row, const QRect& rect, QPainter& canvas) {
    if (col != 1 || row < 1)
        return;
    canvas.fillRect(rect, sgDigitalOutput->palette().color(QPalette::Button));
    if (sgDigitalOutput->Tag != 0 && row == sgDigitalOutput->Row())
        DrawSunkenFrame(canvas, rect);
    else
        DrawRaisedFrame(canvas, rect);
    const TRemoteIO* device = SelectedDevice();
    const TDigitalOutput* outputs = device ? device->DigitalOutput() : nullptr;
    if (!outputs || row > outputs->GetCount())
        return;
    const bool on = outputs->GetChannel(row - 1)->OutputState() != 0;
    if (!sgDigitalOutput->IsCurrent(col, row))
        canvas.setOpacity(TStaleCells::PictureOpacity);
    canvas.drawPixmap(rect.left() + 1, rect.top() + 1, TransparentImage(on ? ImageOutputOn : ImageOff));
}

void TDiagnosticsView::sgCanJDrawCell(int col, int row, const QRect& rect, QPainter& canvas) {
    if (col != 1 || row < 1)
        return;
    // Over the grid's own left-aligned text: the value right-aligned, followed by one blank.
    canvas.fillRect(rect,
                    sgCanJ->Color().isValid() ? sgCanJ->Color() : sgCanJ->palette().color(QPalette::Base));
    const QString text = sgCanJ->Cells(col, row) + QLatin1Char(' ');
    const int x = std::max(rect.left() + 2, rect.right() + 1 - canvas.fontMetrics().horizontalAdvance(text));
    canvas.setPen(sgCanJ->IsCurrent(col, row) ? sgCanJ->palette().color(QPalette::Text)
                                              : TStaleCells::TextColor());
    canvas.drawText(QPoint(x, rect.top() + 2 + canvas.fontMetrics().ascent()), text);
}

// Editing ------------------------------------------------------------------------------------------------

void TDiagnosticsView::sgAnalogicOutputGetEditText(int row) {
    sgAnalogicOutput->Tag = row;
}

void TDiagnosticsView::sgAnalogicOutputSelectCell(int col, int, bool&) {
    sgAnalogicOutput->SetEditing(col == 1);
    if (sgAnalogicOutput->Tag != 0) {
        sgAnalogicOutput->Tag = 0;
        if (col == 1)
            WriteAnalogOutputValue();
    }
}

void TDiagnosticsView::sgAnalogicOutputKeyPress(QChar& key) {
    if (key == QLatin1Char('\r') && sgAnalogicOutput->Tag != 0 && sgAnalogicOutput->Col() == 1) {
        sgAnalogicOutput->Tag = 0;
        WriteAnalogOutputValue();
    }
}

void TDiagnosticsView::sgDigitalInputGetEditText(int row) {
    if (sgDigitalInput->Tag == 0)
        sgDigitalInput->Tag = row;
}

void TDiagnosticsView::sgDigitalInputSelectCell(int col, int, bool&) {
    sgDigitalInput->SetEditing(col == 2);
    if (sgDigitalInput->Tag != 0) {
        sgDigitalInput->Tag = 0;
        if (col == 2)
            WriteDigitalInputCounter();
    }
}

void TDiagnosticsView::sgDigitalInputKeyDown(int& key) {
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && sgDigitalInput->Tag != 0 &&
        sgDigitalInput->Col() == 2) {
        sgDigitalInput->Tag = 0;
        WriteDigitalInputCounter();
    }
}

void TDiagnosticsView::sgDigitalOutputMouseDown() {
    // The cell under the press before the grid scrolled it fully into view.
    const TGridCoord hit = sgDigitalOutput->MouseDownCell;
    if (hit.X == 1 && hit.Y >= 1) {
        sgDigitalOutput->Tag = 1;
        ToggleDigitalOutput();
    } else {
        sgDigitalOutput->Tag = 0;
    }
}

void TDiagnosticsView::sgDigitalOutputMouseUp() {
    if (sgDigitalOutput->Tag == 1) {
        sgDigitalOutput->Tag = 0;
        sgDigitalOutput->InvalidateGrid();
    }
}

void TDiagnosticsView::sgDigitalOutputKeyDown(int& key) {
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && sgDigitalOutput->Tag == 0 &&
        sgDigitalOutput->Col() == 1 && sgDigitalOutput->Row() >= 1) {
        sgDigitalOutput->Tag = 1;
        ToggleDigitalOutput();
    }
}

void TDiagnosticsView::sgDigitalOutputKeyUp() {
    if (sgDigitalOutput->Tag == 1) {
        sgDigitalOutput->Tag = 0;
        sgDigitalOutput->InvalidateGrid();
    }
}

// Live writes --------------------------------------------------------------------------------------------

TCommunicationTask* TDiagnosticsView::NewWrite(TRemoteIO* device) {
    if (!device || !SupervisionThread || !m_form->DiagnosticRunning)
        return nullptr;
    TCommunicationTask* task = SupervisionThread->NewWriteTask();
    task->Slave = quint8(device->Comm()->CurrentAddress());
    return task;
}

void TDiagnosticsView::CommitWrite() {
    if (SupervisionThread)
        SupervisionThread->CommitWriteTask();
}

void TDiagnosticsView::WriteAnalogOutputValue() {
    TDiagnosticStringGrid* grid = sgAnalogicOutput;
    const int row = grid->Row();
    qint32 value = 0;
    if (!TryStrToInt(grid->Cells(grid->Col(), row), value)) {
        ErrorBox(_("Invalid value."));
        return;
    }
    // The limit is what the module reported; without it (or below zero) nothing is written.
    qint32 limit = 0;
    if (value < 0 || value > MaxAnalogOutputValue || !TryStrToInt(grid->Cells(grid->Col() + 1, row), limit) ||
        value > limit) {
        ErrorBox(_("Out of range value."));
        return;
    }
    if (TCommunicationTask* task = NewWrite(SelectedDevice())) {
        task->FunctionCode = 6;
        task->Number = quint16(302 + row);
        task->SetValue(value);
        CommitWrite();
    }
}

void TDiagnosticsView::WriteDigitalInputCounter() {
    TDiagnosticStringGrid* grid = sgDigitalInput;
    TRemoteIO* device = SelectedDevice();
    const int row = grid->Row();
    qint32 value = 0;
    if (!TryStrToInt(grid->Cells(grid->Col(), row), value)) {
        ErrorBox(_("Invalid value."));
        return;
    }
    const bool mixed = device && IsModel(*device, ModelCode::MixedInputs);
    const int max = mixed ? MaxMixedCounter : MaxCounter;
    if (value < 0 || value > max) {
        ErrorBox(_("Out of range value. Min=") + QStringLiteral("0") + _(", Max:") + QString::number(max));
        return;
    }
    if (TCommunicationTask* task = NewWrite(device)) {
        task->FunctionCode = 6;
        task->Number = quint16(mixed ? 1 + row : 32 + row);
        task->SetValue(value);
        CommitWrite();
    }
}

void TDiagnosticsView::ToggleDigitalOutput() {
    TRemoteIO* device = SelectedDevice();
    TDigitalOutput* outputs = device ? device->DigitalOutput() : nullptr;
    const int row = sgDigitalOutput->Row();
    if (!outputs || row < 1 || row > outputs->GetCount())
        return;
    // What the module will have once the writes already queued are done, not what the last poll showed:
    // clicks faster than the poll build on one another.
    const auto expected = [&](int i) {
        return m_outputWrites.Expected(i, outputs->GetChannel(i)->OutputState() != 0 ? 1 : 0);
    };
    const int output = row - 1;
    const int on = expected(output);
    TCommunicationTask* task = NewWrite(device);
    if (!task)
        return;
    TOutputWrites::TStates states;
    if (!IsModel(*device, ModelCode::NamedOutputs)) {
        task->FunctionCode = 5;
        task->Number = quint16(row);
        task->SetValue(on ? 0 : CoilOn);
        states = {{output, !on}};
    } else if (row <= MaskOutputs) {
        int mask = 0;
        for (int i = 0; i < MaskOutputs && i < outputs->GetCount(); ++i)
            if (expected(i))
                mask |= 1 << i;
        mask = (mask ^ (1 << output)) & 0xFF;
        task->FunctionCode = 6;
        task->Number = 10;
        task->SetValue(mask);
        for (int i = 0; i < MaskOutputs && i < outputs->GetCount(); ++i)
            states.emplace_back(i, (mask >> i) & 1);
    } else {
        // "Inverter" and "Alarmes" read 0 while on: writing 1 switches an output that is on off.
        task->FunctionCode = 6;
        task->Number = quint16(row == 9 ? 252 : 253);
        task->SetValue(on ? 1 : 0);
        states = {{output, !on}};
    }
    m_outputWrites.Queued(task, std::move(states));
    CommitWrite();
}
