// The energy-meter view: its row labels, the decoding of a reply into either line, and the drawing of
// the on/off rows.
#include "app/Form7610_24.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "classlib/StringGrid.h"
#include "comm/ModbusResultArrays.h"
#include "tests/app/AppTests.h"
#include "ui_Form7610_24.h"
#include <QFontMetrics>
#include <QTest>
#include <vector>

namespace {

// A reply holding the given register values (big-endian on the wire).
TRegisterArray Reply(const std::vector<int>& values) {
    std::vector<std::uint8_t> data;
    for (int v : values)
        data.insert(data.end(), {std::uint8_t(v >> 8), std::uint8_t(v & 0xFF)});
    TRegisterArray registers;
    registers.Unpack(data, int(values.size()));
    return registers;
}

// The colour at the centre of what is drawn in the value cell of a row, and of an image.
QRgb CellImagePixel(TStringGrid* grid, int row) {
    return grid->viewport()->grab().toImage().pixel(grid->CellRect(1, row).topLeft() + QPoint(8, 8));
}
QRgb ImagePixel(int index) {
    return ImageListSimulation().at(index).toImage().pixel(8, 8);
}

} // namespace

class TestForm7610_24 : public QObject {
    Q_OBJECT

private slots:
    void bothGridsCarryTheLabels() {
        TFormDev7610BR form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Dev7610BR"));
        QCOMPARE(form.ui().gbLine1->title(), QStringLiteral(" Line 1"));
        QCOMPARE(form.ui().gbLine2->title(), QStringLiteral(" Line 2"));
        const QStringList labels = {"Time in current range",
                                    "Replacement demand",
                                    "End of range",
                                    "Capacitive charging",
                                    "Inductive charging",
                                    "Follow horo-seasonal",
                                    "Rate Type",
                                    "Reactive active fire",
                                    "Active energy pulses",
                                    "Reactive energy pulses",
                                    "Active energy pulses (Prior range)",
                                    "Reactive energy pulses (Prior range)"};
        for (TStringGrid* grid : {form.ui().sgLine1, form.ui().sgLine2}) {
            QCOMPARE(grid->FixedRows(), 0);
            QCOMPARE(grid->Cols(0), labels);
            QCOMPARE(grid->RowHeights(9), 18);
            QCOMPARE(grid->RowHeights(10), 36);
            QCOMPARE(grid->RowHeights(11), 36);
            // The label column fits every single-line label; the prior-range labels wrap instead.
            const QFontMetrics metrics(grid->font());
            int widest = 0;
            for (int r = 0; r < 10; ++r)
                widest = std::max(widest, metrics.horizontalAdvance(labels.at(r)));
            QCOMPARE(grid->ColWidths(0), widest + 4);
        }
    }

    void updateLineWritesTheLineOfItsKind() {
        TFormDev7610BR form;
        const TRegisterArray first = Reply({120, 1, 0, 1, 0, 3, 2, 1, 65535, 4660, 7, 0});
        form.UpdateLine(first, 7);
        QCOMPARE(form.ui().sgLine1->Cols(1),
                 (QStringList{"120", "1", "0", "1", "0", "3", "2", "1", "65535", "4660", "7", "0"}));
        QCOMPARE(form.ui().sgLine2->Cols(1), QStringList(12, QString()));

        form.UpdateLine(Reply({9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 11, 12}), 8);
        QCOMPARE(form.ui().sgLine2->Cols(1),
                 (QStringList{"9", "8", "7", "6", "5", "4", "3", "2", "1", "0", "11", "12"}));
        QCOMPARE(form.ui().sgLine1->Cells(1, 0), QStringLiteral("120"));

        // A later reply replaces every row; the kinds of other displays change nothing.
        form.UpdateLine(Reply(std::vector<int>(12, 0)), 7);
        for (int kind : {0, 6, 9, -1})
            form.UpdateLine(first, kind);
        QCOMPARE(form.ui().sgLine1->Cols(1), QStringList(12, QStringLiteral("0")));
        QCOMPARE(form.ui().sgLine2->Cells(1, 11), QStringLiteral("12"));
    }

    void onOffRowsShowTheOffImageOnlyForZero() {
        TFormDev7610BR form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        TStringGrid* grid = form.ui().sgLine1;
        // Rows 1 to 4 and 7 are on/off rows.
        form.UpdateLine(Reply({0, 0, 1, 7, 65535, 0, 0, 0, 0, 0, 0, 0}), 7);
        const QRgb off = ImagePixel(SimulationIndex::Off);
        const QRgb on = ImagePixel(SimulationIndex::OutputOn);
        QVERIFY(off != on);
        QCOMPARE(CellImagePixel(grid, 1), off);
        QCOMPARE(CellImagePixel(grid, 2), on);
        QCOMPARE(CellImagePixel(grid, 3), on);
        QCOMPARE(CellImagePixel(grid, 4), on);
        QCOMPARE(CellImagePixel(grid, 7), off);
        // Text that is no integer counts as 0; a number row draws its text, not an image.
        grid->SetCells(1, 2, QStringLiteral("on"));
        QCOMPARE(CellImagePixel(grid, 2), off);
        QVERIFY(CellImagePixel(grid, 0) != off && CellImagePixel(grid, 0) != on);
    }

    void destroyingTheViewClearsItsGlobal() {
        FormDev7610BR = new TFormDev7610BR;
        delete FormDev7610BR;
        QCOMPARE(FormDev7610BR, nullptr);
    }
};

static TAppTestRegistration<TestForm7610_24> registration;
#include "TestForm7610_24.moc"
