// Diagnostics of every model code at the main window's size: every cell of every grid shown shows its
// text whole inside the visible cell, short grids need no scrolling, and no group box is cut by the
// window, also with the splitter pushed as far as it goes. With VEXADAXO_SHOT_DIR set, pictures of
// each model's diagnostics at both widths are saved there.
#include "DiagFixture.h"
#include "app/Form7610_24.h"
#include "classlib/Translation.h"
#include "tests/support/LayoutCheck.h"
#include "ui_Form7610_24.h"
#include <QFontMetrics>
#include <QGroupBox>

namespace {

// The nineteen codes of the model table and one that no module has.
constexpr int ModelCodes[] = {0,  14, 20, 24, 28, 40, 44,  48,  50,  55,
                              56, 57, 62, 63, 64, 99, 100, 128, 148, 77};
constexpr int Address = 9;
// Grids of up to this many data rows show all of them without scrolling.
constexpr int RowsShownWhole = 10;

// Where a cell's text does not fit inside the part of the cell the grid shows; empty when it fits.
QString CellMisfit(const TStringGrid& grid, int col, int row) {
    const QString text = grid.Cells(col, row);
    const QRect cell = grid.CellRect(col, row);
    if (text.isEmpty())
        return {};
    const QString where = grid.objectName() + QStringLiteral(" (%1,%2) \"%3\"").arg(col).arg(row).arg(text);
    if (cell.isEmpty())
        return where + QStringLiteral(" is not shown");
    // Values may be drawn anywhere in their cell (the CAN values stand at its right edge).
    if (cell.right() >= grid.viewport()->width())
        return where + QStringLiteral(" is cut at the right");
    const QRect visible = cell.intersected(grid.viewport()->rect());
    const QFontMetrics metrics(grid.font());
    // The meter's labels in cells of twice the row height wrap; everything else is one line drawn 2
    // pixels in from the cell's edges.
    const bool wraps =
        col == 0 && grid.FixedRows() == 0 && grid.RowHeights(row) >= 2 * grid.DefaultRowHeight();
    const QSize textSize =
        wraps ? metrics.boundingRect(QRect(0, 0, cell.width() - 2, 1000), Qt::TextWordWrap, text).size()
              : QSize(metrics.horizontalAdvance(text), metrics.height());
    const QSize needed = textSize + QSize(wraps ? 2 : 4, 2);
    if (needed.width() > visible.width() || needed.height() > visible.height())
        return where + QStringLiteral(" needs %1x%2, shown %3x%4")
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(visible.width())
                           .arg(visible.height());
    return {};
}

QStringList GridMisfits(const TStringGrid& grid) {
    QStringList misfits;
    const int dataRows = grid.RowCount() - grid.FixedRows();
    for (int row = 0; row < grid.RowCount(); ++row) {
        // Rows scrolled out of view, or partly into it, are checked only where the grid must show all.
        const bool mustShow = dataRows <= RowsShownWhole;
        const QRect cell = grid.CellRect(0, row);
        if (!mustShow && (cell.isEmpty() || cell.bottom() >= grid.viewport()->height()))
            continue;
        for (int col = 0; col < grid.ColCount(); ++col) {
            const QString misfit = CellMisfit(grid, col, row);
            if (!misfit.isEmpty())
                misfits << misfit;
        }
        if (mustShow && cell.bottom() >= grid.viewport()->height())
            misfits << grid.objectName() + QStringLiteral(" row %1 is cut").arg(row);
    }
    return misfits;
}

// A box, grid or control of the diagnostics shown cut by one of its ancestors.
QStringList CutWidgets(const QWidget& window) {
    QStringList cut;
    QList<const QWidget*> shown;
    for (const QWidget* w : window.findChildren<QGroupBox*>())
        shown << w;
    for (const QWidget* w : window.findChildren<TStringGrid*>())
        shown << w;
    const QWidget* diagnostics = window.findChild<QWidget*>(QStringLiteral("pDiagnostic"));
    for (const char* name : {"lbDiagnostic", "cbDiagnostic", "btDiagnostic"})
        if (const QWidget* w = diagnostics ? diagnostics->findChild<QWidget*>(QLatin1String(name)) : nullptr)
            shown << w;
    for (const QWidget* box : shown) {
        if (!box->isVisible())
            continue;
        for (const QWidget* w = box; w->parentWidget() && !w->isWindow(); w = w->parentWidget()) {
            const QRect inParent = QRect(box->mapTo(w->parentWidget(), QPoint(0, 0)), box->size());
            if (!w->parentWidget()->rect().contains(inParent)) {
                cut << box->objectName() + QStringLiteral(" is cut by ") + w->parentWidget()->objectName();
                break;
            }
        }
    }
    return cut;
}

} // namespace

class DiagnosticsFitTest : public DiagFixture {
protected:
    // Sets a register where the model has it; the others are left out.
    void Set(int wire, int value, vdsim::TSimUnit unit = vdsim::TSimUnit::Module) {
        sim->WithModule(ModuleIndex(Address), [&](vdsim::TSimModule& m) {
            m.Poke(vdsim::TSimTable::Holding, std::uint16_t(wire), std::uint16_t(value), unit);
        });
    }
    // The widest values each kind of live value can take.
    void PokeWideValues(int model) {
        for (int i = 0; i < 16; ++i) {
            Set(32 + i, 65534); // counters
            Set(i, 65534);      // presets
        }
        for (int i = 0; i < 4; ++i) {
            Set(104 + i, 4095);
            Set(108 + i, 4095);
            Set(112 + i, 4095);
            Set(500 + i, 0x8000); // -3276.8
        }
        for (int i = 0; i < 2; ++i) {
            Set(302 + i, 4095);
            Set(304 + i, 4000);
        }
        for (int i = 0; i < 9; ++i)
            Set(100 + i, 65535);
        for (int r = 0; r < 12; ++r) {
            Set(1 + r, 65535);
            Set(1 + r, 65535, vdsim::TSimUnit::MeterLine2);
        }
        // Model 128: every input's error flag set and its status bit clear give the longest names.
        if (model == 128)
            Set(9, 0);
    }

    std::vector<const TStringGrid*> ShownGrids() const {
        std::vector<const TStringGrid*> grids;
        for (const TStringGrid* grid : Ui().gbDiagnostics->findChildren<TStringGrid*>())
            if (grid->isVisible())
                grids.push_back(grid);
        return grids;
    }

    // Every shown grid's values and every control of the window whole, once the layout has settled.
    void ExpectSettledFit() const {
        const QStringList problems = SettledProblems([this] {
            QStringList found;
            for (const TStringGrid* grid : ShownGrids())
                found << GridMisfits(*grid);
            return found << CutWidgets(*FormMain);
        });
        EXPECT_EQ(problems.join(QLatin1Char('\n')).toStdString(), "");
    }

    void CheckEveryModel(const QString& language) {
        for (const int model : ModelCodes) {
            SCOPED_TRACE("model " + std::to_string(model) + " " + language.toStdString());
            StartBus({{Address, model}});
            PokeWideValues(model);
            TRemoteIO* device = AddDevice(Address, model);
            StartDiagnostics(device);
            // One pass over the tasks brings every value.
            ASSERT_TRUE(ServeResults(SupervisionThread->TaskCount()));
            ExpectSettledFit();
            // And the window's other captions as the layout check of every window sees them.
            EXPECT_EQ(CheckSettledWidgetTree(*Ui().gbDiagnostics).join(QLatin1Char('\n')).toStdString(), "");
            const QString dir = qEnvironmentVariable("VEXADAXO_SHOT_DIR");
            if (!dir.isEmpty())
                FormMain->grab().save(dir + QStringLiteral("/diag-%1-%2.png").arg(model).arg(language));
            // The splitter pushed as far right as it goes: still every value whole.
            Ui().SplitterDaxo->setSizes({10000, 1});
            // The grids' new minimum widths reach the splitter over several rounds of events.
            ExpectSettledFit();
            if (!dir.isEmpty())
                FormMain->grab().save(dir + QStringLiteral("/narrow-%1-%2.png").arg(model).arg(language));
            StopDiagnostics();
            app.Stop();
            sim.reset();
        }
    }
};

TEST_F(DiagnosticsFitTest, EveryValueOfEveryModelIsShownWhole) {
    CheckEveryModel(QStringLiteral("en"));
}

TEST_F(DiagnosticsFitTest, EveryValueOfEveryModelIsShownWholeInPortuguese) {
    BindTextDomainFolder(QStringLiteral(VD_APP_LOCALE_DIR));
    UseLanguage(QStringLiteral("pt_BR"));
    CheckEveryModel(QStringLiteral("pt_BR"));
    UseLanguage(QStringLiteral("en_US"));
}
