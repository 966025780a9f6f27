#include "app/Form7610_24.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "app/StaleCells.h"
#include "classlib/StrConvert.h"
#include "classlib/StringGrid.h"
#include "classlib/Translation.h"
#include "comm/ModbusResultArrays.h"
#include "ui_Form7610_24.h"
#include <QFontMetrics>
#include <QPainter>
#include <QShowEvent>
#include <algorithm>

namespace {
// Only the first ten labels fit on one line; the two "prior range" rows wrap in double-height cells.
constexpr int kSingleLineLabels = 10;
constexpr int kFirstWrappedRow = 10;
} // namespace

TFormDev7610BR::TFormDev7610BR(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TFormDev7610BR>()) {
    m_ui->setupUi(this);
    FormCreate();
}

TFormDev7610BR::~TFormDev7610BR() {
    // The main window owns the view; the program-wide pointer must not outlive it.
    if (FormDev7610BR == this)
        FormDev7610BR = nullptr;
}

void TFormDev7610BR::FillLabels() {
    const QString prior = QLatin1Char(' ') + _("(Prior range)");
    m_labels = {
        {_("Time in current range"), rkNumber},
        {_("Replacement demand"), rkOnOff},
        {_("End of range"), rkOnOff},
        {_("Capacitive charging"), rkOnOff},
        {_("Inductive charging"), rkOnOff},
        {_("Follow horo-seasonal"), rkNumber},
        {_("Rate Type"), rkNumber},
        {_("Reactive active fire"), rkOnOff},
        {_("Active energy pulses"), rkNumber},
        {_("Reactive energy pulses"), rkNumber},
        {_("Active energy pulses") + prior, rkNumber},
        {_("Reactive energy pulses") + prior, rkNumber},
    };
}

void TFormDev7610BR::FormCreate() {
    FillLabels();
    TStringGrid* grids[] = {m_ui->sgLine1, m_ui->sgLine2};
    for (TStringGrid* grid : grids) {
        grid->SetColCount(2);
        grid->SetFixedRows(0);
        grid->SetRowCount(RowCount);
        grid->SetDefaultRowHeight(18);
        for (int r = 0; r < RowCount; ++r)
            grid->SetCells(0, r, m_labels[r].Text);
        FitColumns(*grid);
        // The values take the width the labels leave whenever the grid changes size.
        grid->viewport()->installEventFilter(this);
        for (int r = kFirstWrappedRow; r < RowCount; ++r)
            grid->SetRowHeights(r, 2 * grid->DefaultRowHeight());
        // Every row shows whole.
        int height = 2 * grid->frameWidth();
        for (int r = 0; r < RowCount; ++r)
            height += grid->RowHeights(r) + grid->GridLineWidth();
        grid->setMinimumHeight(height);
        grid->OnDrawCell = [this](TCustomDrawGrid* sender, int col, int row, const QRect& rect,
                                  TGridDrawState,
                                  QPainter& canvas) { sgLine1DrawCell(sender, col, row, rect, canvas); };
    }
    TranslateComponent(this);
}

void TFormDev7610BR::FitColumns(TStringGrid& grid) {
    const QFontMetrics metrics(grid.font());
    int labelWidth = 0;
    for (int r = 0; r < kSingleLineLabels; ++r)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(grid.Cells(0, r)));
    labelWidth += 4;
    const int valueWidth = metrics.horizontalAdvance(QStringLiteral("65535")) + 8;
    grid.SetColWidths(0, labelWidth);
    // The view never gets so narrow that a value is cut.
    grid.setMinimumWidth(2 * grid.frameWidth() + labelWidth + valueWidth + 2 * grid.GridLineWidth());
    grid.SetColWidths(1,
                      std::max(valueWidth, grid.viewport()->width() - labelWidth - 2 * grid.GridLineWidth()));
}

bool TFormDev7610BR::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize)
        for (TStringGrid* grid : {m_ui->sgLine1, m_ui->sgLine2})
            if (watched == grid->viewport())
                FitColumns(*grid);
    return QWidget::eventFilter(watched, event);
}

void TFormDev7610BR::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormDev7610BR::FormShow() {
    RetranslateComponent(this);
}

void TFormDev7610BR::sgLine1DrawCell(TCustomDrawGrid* Sender, int ACol, int ARow, const QRect& Rect,
                                     QPainter& Canvas) {
    auto* grid = qobject_cast<TStringGrid*>(Sender);
    if (!grid || ARow < 0 || ARow >= int(m_labels.size()))
        return;
    const QString text = grid->Cells(ACol, ARow);
    if (ACol == 0) {
        if (ARow < kFirstWrappedRow)
            return; // the grid's own drawing
        Canvas.fillRect(Rect, Canvas.brush());
        Canvas.drawText(Rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        return;
    }
    if (ACol != 1)
        return;
    const bool current = LineCurrent(grid == m_ui->sgLine2 ? KindLine2 : KindLine1);
    switch (m_labels[ARow].Kind) {
    case rkNumber:
        Canvas.fillRect(Rect, Canvas.brush());
        if (!current)
            Canvas.setPen(TStaleCells::TextColor());
        Canvas.drawText(Rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        break;
    case rkOnOff: {
        qint32 value = 0;
        if (!TryStrToInt(text, value))
            value = 0;
        const QList<QPixmap>& images = ImageListSimulation();
        Canvas.fillRect(Rect, Canvas.brush());
        if (!current)
            Canvas.setOpacity(TStaleCells::PictureOpacity);
        Canvas.drawPixmap(Rect.topLeft(),
                          images.at(value == 0 ? SimulationIndex::Off : SimulationIndex::OutputOn));
        break;
    }
    }
}

void TFormDev7610BR::SetLineCurrent(int Kind, bool current) {
    if (Kind != KindLine1 && Kind != KindLine2)
        return;
    bool& line = m_lineCurrent[Kind == KindLine2 ? 1 : 0];
    if (line == current)
        return;
    line = current;
    (Kind == KindLine2 ? m_ui->sgLine2 : m_ui->sgLine1)->InvalidateGrid();
}

void TFormDev7610BR::UpdateLine(const TRegisterArray& Registers, int Kind) {
    TStringGrid* grid = nullptr;
    if (Kind == KindLine1)
        grid = m_ui->sgLine1;
    else if (Kind == KindLine2)
        grid = m_ui->sgLine2;
    else
        return;
    for (int r = 0; r < grid->RowCount(); ++r)
        grid->SetCells(1, r, QString::number(Registers.GetValue(r)));
}
