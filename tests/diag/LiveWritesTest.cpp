// Live writes while diagnostics run: output push buttons, analog output values and counter presets
// typed into the grids, each reaching the module simulator, and the values refused before any write.
#include "DiagFixture.h"
#include <QMouseEvent>

using vdsim::TSimTable;

class LiveWritesTest : public DiagFixture {
protected:
    // Presses and releases the mouse on a cell of the output grid.
    static void ClickCell(TDiagnosticStringGrid* grid, int col, int row, bool release = true) {
        if (grid->CellRect(col, row).isEmpty())
            grid->SetRow(row); // scrolls it into view
        const QPoint centre = grid->CellRect(col, row).center();
        QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        if (release)
            QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }
    bool OutputOn(int address, int i) { return Module(address).Live.OutputState[size_t(i)]; }
};

TEST_F(LiveWritesTest, OutputPushButtonTogglesTheModulesOutput) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    TDiagnosticStringGrid* out = View().sgDigitalOutput;
    ASSERT_TRUE(ServeResults(4));

    ClickCell(out, 1, 2, false);
    EXPECT_EQ(out->Tag, 1); // held down
    ASSERT_TRUE(ServeUntil([&] { return OutputOn(1, 1); }));
    QTest::mouseRelease(out->viewport(), Qt::LeftButton, Qt::NoModifier, out->CellRect(1, 2).center());
    EXPECT_EQ(out->Tag, 0);
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(1)->OutputState() == 1; }));

    // Pressed again: the output shown on is switched off.
    ClickCell(out, 1, 2);
    ASSERT_TRUE(ServeUntil([&] { return !OutputOn(1, 1); }));

    // Enter on a data cell of the value column toggles too; the key's release lets the button up.
    out->setFocus();
    out->SetRow(4);
    QTest::keyPress(out, Qt::Key_Return);
    EXPECT_EQ(out->Tag, 1);
    QTest::keyRelease(out, Qt::Key_Return);
    EXPECT_EQ(out->Tag, 0);
    ASSERT_TRUE(ServeUntil([&] { return OutputOn(1, 3); }));

    // A click on a name cell writes nothing.
    const auto requests = Module(1).Counters.Requests;
    ClickCell(out, 0, 1);
    EXPECT_EQ(out->Tag, 0);
    EXPECT_EQ(SupervisionThread->WritesWaiting(), 0);
    EXPECT_EQ(SupervisionThread->PendingWrite(), nullptr);
    EXPECT_GE(Module(1).Counters.Requests, requests);
    EXPECT_FALSE(OutputOn(1, 0));
}

TEST_F(LiveWritesTest, NamedOutputModuleWritesTheMaskAndTheInvertedRegisters) {
    StartBus({{6, 148}});
    TRemoteIO* d = AddDevice(6, 148);
    PokeHolding(6, 9, 0b101); // outputs 1 and 3 on
    PokeHolding(6, 251, 0);   // "Inverter" on
    StartDiagnostics(d);
    TDiagnosticStringGrid* out = View().sgDigitalOutput;
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(8)->OutputState() == 1; }));
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(2)->OutputState() == 1; }));

    ClickCell(out, 1, 3); // output 3 goes off: bit 0 alone stays
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(2)->OutputState() == 0; }));
    QList<int> maskWrites;
    for (const auto& r : Module(6).Log)
        if (r.Function == 6 && r.Address == 9)
            maskWrites << r.Value;
    EXPECT_EQ(maskWrites, QList<int>({1}));

    ClickCell(out, 1, 9); // "Inverter" shown on: 1 switches it off
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(8)->OutputState() == 0; }));
    EXPECT_EQ(Module(6).Live.NamedOutput[0], 1);
    ClickCell(out, 1, 10); // "Alarmes" shown off: 0 switches it on
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(9)->OutputState() == 1; }));
    EXPECT_EQ(Module(6).Live.NamedOutput[1], 0);
}

TEST_F(LiveWritesTest, AnalogOutputValueIsWrittenWithinItsLimit) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    PokeHolding(2, 304, 2000); // limit of output 0
    StartDiagnostics(d);
    TDiagnosticStringGrid* ao = View().sgAnalogicOutput;
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(2, 1) == "2000"; }));

    TypeIntoCell(ao, 1, 1, QStringLiteral("1500"));
    EXPECT_EQ(ao->Tag, 0);
    ASSERT_TRUE(ServeUntil([&] { return Module(2).Live.OutputValue[0] == 1500; }));
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(1, 1) == "1500"; }));
    EXPECT_TRUE(Messages().isEmpty());

    // Above the limit the module reported, at 4096 and above, below zero, or no number: nothing written.
    const std::pair<QString, QString> refused[] = {
        {"2001", "Out of range value."}, {"-5", "Out of range value."}, {"abc", "Invalid value."}};
    for (const auto& [text, message] : refused) {
        app.presenter->requests.clear();
        TypeIntoCell(ao, 1, 1, text);
        EXPECT_EQ(Messages(), QStringList({message})) << text.toStdString();
        EXPECT_EQ(SupervisionThread->WritesWaiting(), 0);
    }
    PokeHolding(2, 305, 8000);
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(2, 2) == "8000"; }));
    app.presenter->requests.clear();
    TypeIntoCell(ao, 1, 2, QStringLiteral("5000"));
    EXPECT_EQ(Messages(), QStringList({"Out of range value."}));
    ServeResults(3);
    EXPECT_EQ(Module(2).Live.OutputValue[1], 0);
    EXPECT_EQ(Module(2).Live.OutputValue[0], 1500);
}

TEST_F(LiveWritesTest, LeavingAnEditedCellWritesItsValueAndThePollSparesTheEditedRow) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    PokeHolding(2, 302, 100);
    PokeHolding(2, 303, 200);
    StartDiagnostics(d);
    TDiagnosticStringGrid* ao = View().sgAnalogicOutput;
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(1, 2) == "200" && ao->Cells(2, 1) == "4000"; }));

    ao->setFocus();
    ao->SetCol(1);
    ao->SetRow(1);
    QTest::keyClick(ao, Qt::Key_F2);
    ASSERT_NE(ao->InplaceEditor(), nullptr);
    EXPECT_EQ(ao->Tag, 1);
    QTest::keyClick(ao->InplaceEditor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ao->InplaceEditor(), QStringLiteral("77"));
    // While the row is being edited the poll leaves it alone, and the other row goes on.
    PokeHolding(2, 303, 300);
    ASSERT_TRUE(ServeUntil([&] { return ao->Cells(1, 2) == "300"; }));
    EXPECT_EQ(ao->Cells(1, 1), "77");

    // Moving down in the value column writes the cell being left.
    QTest::keyClick(ao->InplaceEditor(), Qt::Key_Down);
    EXPECT_EQ(ao->Row(), 2);
    EXPECT_EQ(ao->Tag, 0);
    ASSERT_TRUE(ServeUntil([&] { return Module(2).Live.OutputValue[0] == 77; }));

    // Moving to another column drops a pending edit without writing.
    QTest::keyClick(ao, Qt::Key_F2);
    EXPECT_EQ(ao->Tag, 2);
    QTest::keyClick(ao->InplaceEditor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ao->InplaceEditor(), QStringLiteral("55"));
    ao->SetCol(2);
    EXPECT_EQ(ao->Tag, 0);
    EXPECT_FALSE(ao->Options() & goEditing);
    ServeResults(3);
    EXPECT_EQ(Module(2).Live.OutputValue[1], 300);
}

TEST_F(LiveWritesTest, CounterPresetsAreWrittenWithinTheirRange) {
    StartBus({{1, 0}, {5, 128}});
    TRemoteIO* digital = AddDevice(1, 0);
    TRemoteIO* mixed = AddDevice(5, 128);

    StartDiagnostics(digital);
    TDiagnosticStringGrid* in = View().sgDigitalInput;
    ASSERT_TRUE(ServeResults(4));
    TypeIntoCell(in, 2, 3, QStringLiteral("65534"));
    ASSERT_TRUE(ServeUntil([&] { return Module(1).Live.PulseCounter[2] == 65534; }));
    TypeIntoCell(in, 2, 1, QStringLiteral("65535"));
    EXPECT_EQ(Messages(), QStringList({"Out of range value. Min=0, Max:65534"}));
    app.presenter->requests.clear();
    TypeIntoCell(in, 2, 1, QStringLiteral("1x"));
    EXPECT_EQ(Messages(), QStringList({"Invalid value."}));
    app.presenter->requests.clear();
    // The preset column is not editable.
    in->SetCol(3);
    EXPECT_FALSE(in->Options() & goEditing);
    StopDiagnostics();

    StartDiagnostics(mixed);
    ASSERT_TRUE(ServeResults(2));
    TypeIntoCell(in, 2, 2, QStringLiteral("40000"));
    EXPECT_EQ(Messages(), QStringList({"Out of range value. Min=0, Max:32767"}));
    TypeIntoCell(in, 2, 2, QStringLiteral("300"));
    ASSERT_TRUE(ServeUntil([&] { return (Module(5).Live.WordInput[1] & 0x7FFF) == 300; }));
    ASSERT_TRUE(ServeUntil([&] { return in->Cells(2, 2) == "300"; }));
}
