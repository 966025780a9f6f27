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
    // The values the module received in writes of this function to this wire address, in order.
    QList<int> WritesTo(int address, int function, int wire) {
        QList<int> values;
        for (const auto& r : Module(address).Log)
            if (r.Function == function && r.Address == wire)
                values << r.Value;
        return values;
    }
    // Clicks the value cells of these output rows one after the other, serving the main thread for
    // gapMs between them (0: no serving, all in one burst).
    void ClickRows(std::initializer_list<int> rows, int gapMs) {
        for (int row : rows) {
            ClickCell(View().sgDigitalOutput, 1, row);
            if (gapMs > 0) {
                QElapsedTimer gap;
                gap.start();
                ServeUntil([&] { return gap.elapsed() >= gapMs; });
            }
        }
    }
    // Serves until every write is sent and a poll of the outputs has shown the states after them.
    bool ServeWritesAndPoll(const std::function<bool()>& shown) {
        return ServeUntil([&] { return SupervisionThread->WritesWaiting() == 0; }) && ServeResults(2) &&
               ServeUntil(shown);
    }
    // The mask register of a register-word module: bit i = output i.
    int Mask(int address) {
        int mask = 0;
        for (int i = 0; i < 8; ++i)
            mask |= OutputOn(address, i) ? 1 << i : 0;
        return mask;
    }
    static QList<int> ShownStates(const TRemoteIO& d) {
        QList<int> states;
        for (int i = 0; i < d.DigitalOutput()->GetCount(); ++i)
            states << d.DigitalOutput()->GetChannel(i)->OutputState();
        return states;
    }
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

    // The limit itself is still within it.
    for (const int value : {2000, 1500}) {
        TypeIntoCell(ao, 1, 1, QString::number(value));
        EXPECT_EQ(ao->Tag, 0);
        ASSERT_TRUE(ServeUntil([&] { return Module(2).Live.OutputValue[0] == value; }));
        ASSERT_TRUE(ServeUntil([&] { return ao->Cells(1, 1) == QString::number(value); }));
        EXPECT_TRUE(Messages().isEmpty());
    }

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
    TypeIntoCell(in, 2, 2, QStringLiteral("32767"));
    ASSERT_TRUE(ServeUntil([&] { return (Module(5).Live.WordInput[1] & 0x7FFF) == 32767; }));
    ASSERT_TRUE(ServeUntil([&] { return in->Cells(2, 2) == "32767"; }));
}

TEST_F(LiveWritesTest, ClicksFasterThanThePollBuildOnOneAnotherOnTheMaskModule) {
    StartBus({{6, 148}});
    TRemoteIO* d = AddDevice(6, 148);
    PokeHolding(6, 9, 0b011); // S0 and S1 on
    PokeHolding(6, 251, 0);   // "Inverter" on
    PokeHolding(6, 252, 1);
    StartDiagnostics(d);
    ASSERT_TRUE(ServeUntil([&] { return ShownStates(*d) == QList<int>({1, 1, 0, 0, 0, 0, 0, 0, 1, 0}); }));
    const auto mask = [&] { return Mask(6); };

    // S2 then S3 in one burst: the second mask keeps S2 on.
    ClickRows({3, 4}, 0);
    ASSERT_TRUE(ServeWritesAndPoll([&] { return d->DigitalOutput()->GetChannel(3)->OutputState() == 1; }));
    EXPECT_EQ(WritesTo(6, 6, 9), QList<int>({0x07, 0x0F}));
    EXPECT_EQ(mask(), 0x0F);

    // About 20 ms apart, some sent before the next poll and some not: S2 off, S3 off, S2 on again.
    ClickRows({3, 4, 3}, 20);
    ASSERT_TRUE(ServeWritesAndPoll([&] { return d->DigitalOutput()->GetChannel(3)->OutputState() == 0; }));
    EXPECT_EQ(WritesTo(6, 6, 9).mid(2), QList<int>({0x0B, 0x03, 0x07}));
    EXPECT_EQ(mask(), 0x07);
    EXPECT_EQ(ShownStates(*d), QList<int>({1, 1, 1, 0, 0, 0, 0, 0, 1, 0}));

    // "Inverter" twice in a burst: off, then on again.
    ClickRows({9, 9}, 0);
    ASSERT_TRUE(ServeWritesAndPoll([] { return true; }));
    EXPECT_EQ(WritesTo(6, 6, 251), QList<int>({1, 0}));
    EXPECT_EQ(Module(6).Live.NamedOutput[0], 0);
    EXPECT_EQ(ShownStates(*d), QList<int>({1, 1, 1, 0, 0, 0, 0, 0, 1, 0}));
}

TEST_F(LiveWritesTest, ClicksFasterThanThePollBuildOnOneAnotherOnACoilModule) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    StartDiagnostics(d);
    ASSERT_TRUE(ServeResults(4));

    // A double click on S0: on, then off again.
    ClickRows({1, 1}, 0);
    ASSERT_TRUE(ServeWritesAndPoll([] { return true; }));
    EXPECT_EQ(WritesTo(1, 5, 0), QList<int>({0xFF00, 0}));
    EXPECT_FALSE(OutputOn(1, 0));

    // Three clicks on S1 and one on S2, about 20 ms apart: S1 and S2 end on.
    ClickRows({2, 2, 3, 2}, 20);
    ASSERT_TRUE(ServeWritesAndPoll([&] { return ShownStates(*d) == QList<int>({0, 1, 1, 0}); }));
    EXPECT_EQ(WritesTo(1, 5, 1), QList<int>({0xFF00, 0, 0xFF00}));
    EXPECT_TRUE(OutputOn(1, 1));
    EXPECT_TRUE(OutputOn(1, 2));
}

TEST_F(LiveWritesTest, ClicksComposeAlsoWhenEveryRequestIsSlow) {
    StartBus({{1, 0}, {6, 148}});
    TRemoteIO* coils = AddDevice(1, 0);
    TRemoteIO* masked = AddDevice(6, 148);
    // Every reply 120 ms late: a pass over the poll tasks takes most of a second.
    for (int address : {1, 6})
        sim->SetFault(ModuleIndex(address), {vdsim::TSimFaultKind::Late, 120, 0});

    StartDiagnostics(coils);
    ASSERT_TRUE(ServeResults(4));
    ClickRows({1, 2, 1, 3, 2, 4}, 20);
    ASSERT_TRUE(ServeWritesAndPoll([&] { return ShownStates(*coils) == QList<int>({0, 0, 1, 1}); }));
    EXPECT_EQ(WritesTo(1, 5, 0), QList<int>({0xFF00, 0}));
    EXPECT_EQ(WritesTo(1, 5, 1), QList<int>({0xFF00, 0}));
    StopDiagnostics();

    StartDiagnostics(masked);
    ASSERT_TRUE(ServeResults(2));
    ClickRows({1, 5, 8, 5, 2}, 20);
    ASSERT_TRUE(ServeWritesAndPoll([&] { return Mask(6) == 0x83; }));
    EXPECT_EQ(WritesTo(6, 6, 9), QList<int>({0x01, 0x11, 0x91, 0x81, 0x83}));
    ASSERT_TRUE(ServeUntil([&] {
        return ShownStates(*masked).mid(0, 8) == QList<int>({1, 1, 0, 0, 0, 0, 0, 1});
    }));
}
