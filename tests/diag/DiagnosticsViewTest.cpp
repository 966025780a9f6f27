// Diagnostics of each kind of module: the grids the start builds, and the live values the supervision
// thread decodes into them and into the channel objects, polled from the module simulator.
#include "DiagFixture.h"
#include "app/Form7610_24.h"
#include "app/ImageLists.h"
#include "app/Log.h"
#include "ui_Form7610_24.h"
#include "ui_Log.h"

using vdsim::TSimTable;

class DiagnosticsViewTest : public DiagFixture {};

TEST_F(DiagnosticsViewTest, DigitalModuleShowsInputsCountersPresetsAndOutputs) {
    StartBus({{1, 0}});
    TRemoteIO* d = AddDevice(1, 0);
    Poke(1, TSimTable::DiscreteInput, 1, 1);
    PokeHolding(1, 32 + 2, 1234); // pulse counter of input 2
    PokeHolding(1, 5, 77);        // preset of input 5
    Poke(1, TSimTable::Coil, 3, 1);
    Ui().gbCalibration->show();

    StartDiagnostics(d);
    EXPECT_FALSE(Ui().gbCalibration->isVisible());
    EXPECT_TRUE(CalibrationBoxRestore);
    EXPECT_EQ(Ui().btDiagnostic->text(), "Stop diagnostic");
    EXPECT_FALSE(Ui().cbDiagnostic->isEnabled());
    EXPECT_FALSE(Ui().tvNetwork->isEnabled());
    EXPECT_FALSE(Ui().gbAnalogicInput->isVisible());
    EXPECT_FALSE(Ui().gbAnalogicOutput->isVisible());
    EXPECT_FALSE(Ui().gbTemperature->isVisible());
    EXPECT_TRUE(Ui().gbDigitalInput->isVisible());
    EXPECT_TRUE(Ui().gbDigitalOutput->isVisible());
    EXPECT_EQ(SupervisionThread->TaskCount(), 4);

    TDiagnosticStringGrid* in = View().sgDigitalInput;
    TDiagnosticStringGrid* out = View().sgDigitalOutput;
    EXPECT_EQ(in->ColCount(), 4);
    EXPECT_EQ(in->RowCount(), 9);
    EXPECT_EQ(in->Rows(0), QStringList({"", "Value", "Acc", "Preset"}));
    EXPECT_EQ(in->Cells(0, 1), "E0");
    EXPECT_EQ(out->RowCount(), 5);
    EXPECT_EQ(out->Cells(0, 4), "S3");

    ASSERT_TRUE(ServeUntil([&] { return in->Cells(3, 6) == "77" && in->Cells(2, 3) == "1234"; }));
    ASSERT_TRUE(ServeUntil([&] { return d->DigitalOutput()->GetChannel(3)->OutputState() == 1; }));
    EXPECT_EQ(d->DigitalInput()->GetChannel(1)->InputState(), 1);
    EXPECT_EQ(d->DigitalInput()->GetChannel(0)->InputState(), 0);
    EXPECT_EQ(d->DigitalOutput()->GetChannel(0)->OutputState(), 0);
    EXPECT_EQ(in->Cells(2, 1), "0");
    EXPECT_EQ(Panel(3), "COMMUNICATION OK !");
    EXPECT_GE(OkCount(), 4);
    EXPECT_EQ(Panel(5), "ER:0");
    // The value cells show the lamp of each channel's state.
    const auto lampShown = [](TDiagnosticStringGrid* grid, int row, int image) {
        const QPoint centre = grid->CellRect(1, row).topLeft() + QPoint(1 + 8, 1 + 8);
        return grid->viewport()->grab().toImage().pixel(centre) ==
               ImageListSimulation().at(image).toImage().pixel(8, 8);
    };
    EXPECT_TRUE(lampShown(in, 2, TDiagnosticsView::ImageInputOn));
    EXPECT_TRUE(lampShown(in, 1, TDiagnosticsView::ImageOff));
    EXPECT_TRUE(lampShown(out, 4, TDiagnosticsView::ImageOutputOn));
    EXPECT_TRUE(lampShown(out, 1, TDiagnosticsView::ImageOff));
    const QByteArray shot = qgetenv("VEXADAXO_SCREENSHOT");
    if (!shot.isEmpty())
        FormMain->grab().save(QString::fromLocal8Bit(shot));

    // The traffic log: a request, its reply with the (empty) error text, an empty line.
    const QStringList log = FormLog->ui().memLog->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log.at(0).startsWith("TX:01,"));
    EXPECT_TRUE(log.at(1).startsWith("RX:01,"));
    EXPECT_TRUE(log.at(1).endsWith(":"));
    EXPECT_EQ(log.at(2), "");

    StopDiagnostics();
    EXPECT_FALSE(FormMain->DiagnosticRunning);
    EXPECT_EQ(SupervisionThread, nullptr);
    EXPECT_EQ(Panel(3), "End diagnostics");
    EXPECT_EQ(Ui().btDiagnostic->text(), "Start diagnostic");
    EXPECT_TRUE(Ui().cbDiagnostic->isEnabled());
    EXPECT_TRUE(Ui().tvNetwork->isEnabled());
    EXPECT_FALSE(Ui().gbDigitalInput->isVisible());
    EXPECT_TRUE(Ui().gbCalibration->isVisible()); // back as it was at the start
    EXPECT_FALSE(ModbusMaster->Connected);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(DiagnosticsViewTest, AnalogModuleShowsValuesAndLimits) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    PokeHolding(2, 104, 1500);
    PokeHolding(2, 105, 2500);
    PokeHolding(2, 108, 10); // lower limit of input 0
    PokeHolding(2, 113, 3900);
    PokeHolding(2, 302, 123);
    PokeHolding(2, 305, 3000); // limit of output 1

    StartDiagnostics(d);
    EXPECT_TRUE(Ui().gbAnalogicInput->isVisible());
    EXPECT_TRUE(Ui().gbAnalogicOutput->isVisible());
    EXPECT_FALSE(Ui().gbDigitalInput->isVisible());
    TDiagnosticStringGrid* ai = View().sgAnalogicInput;
    TDiagnosticStringGrid* ao = View().sgAnalogicOutput;
    EXPECT_EQ(ai->Rows(0), QStringList({"", "Value", "Min", "Max"}));
    EXPECT_EQ(ao->Rows(0), QStringList({"", "Value", "Max"}));
    EXPECT_EQ(ai->RowCount(), 3);
    // The box fits its rows: twice the header plus 10, plus every data row.
    EXPECT_EQ(Ui().gbAnalogicInput->height(), 2 * ai->RowHeights(0) + 10 + 2 * ai->RowHeights(1));

    ASSERT_TRUE(ServeUntil([&] { return ai->Cells(3, 2) == "3900" && ao->Cells(2, 2) == "3000"; }));
    EXPECT_EQ(ai->Cols(1), QStringList({"Value", "1500", "2500"}));
    EXPECT_EQ(ai->Cells(2, 1), "10");
    EXPECT_EQ(ao->Cols(1), QStringList({"Value", "123", "0"}));
    EXPECT_EQ(ao->Cells(2, 1), "4000");
}

TEST_F(DiagnosticsViewTest, TemperaturesInTenthsAndInWholeDegrees) {
    StartBus({{3, 64}, {4, 63}});
    TRemoteIO* pt100 = AddDevice(3, 64);
    TRemoteIO* thermocouple = AddDevice(4, 63);
    thermocouple->TemperatureInput()->SetTermopar(IOClasses::TRemoteTermopar::Tipo_S);
    for (int wire : {500, 501, 502, 503}) {
        PokeHolding(3, wire, 0);
        PokeHolding(4, wire, 0);
    }
    PokeHolding(3, 500, 0xFF38); // -200 tenths
    PokeHolding(3, 501, 253);
    PokeHolding(4, 500, 1200); // an S thermocouple counts whole degrees
    PokeHolding(4, 502, 0xFFFF);

    StartDiagnostics(pt100);
    TDiagnosticStringGrid* t = View().sgTemperature;
    EXPECT_TRUE(Ui().gbTemperature->isVisible());
    EXPECT_EQ(t->Rows(0), QStringList({"", "Value"}));
    EXPECT_EQ(t->RowCount(), 5);
    ASSERT_TRUE(ServeUntil([&] { return !t->Cells(1, 1).isEmpty(); }));
    EXPECT_EQ(t->Cols(1), QStringList({"Value", "-20.0", "25.3", "0.0", "0.0"}));
    StopDiagnostics();

    StartDiagnostics(thermocouple);
    ASSERT_TRUE(ServeUntil([&] { return t->Cells(1, 1) == "1200.0"; }));
    EXPECT_EQ(t->Cols(1), QStringList({"Value", "1200.0", "0.0", "-1.0", "0.0"}));
    StopDiagnostics();

    // Every type: S, R and B in whole degrees, the others in tenths.
    using IOClasses::TRemoteTermopar;
    const std::pair<TRemoteTermopar, QString> types[] = {
        {TRemoteTermopar::Tipo_R, "1200.0"}, {TRemoteTermopar::Tipo_B, "1200.0"},
        {TRemoteTermopar::Tipo_J, "120.0"},  {TRemoteTermopar::Tipo_K, "120.0"},
        {TRemoteTermopar::Tipo_T, "120.0"},  {TRemoteTermopar::Tipo_E, "120.0"},
        {TRemoteTermopar::Tipo_N, "120.0"}};
    for (const auto& [type, shown] : types) {
        SCOPED_TRACE(int(type));
        thermocouple->TemperatureInput()->SetTermopar(type);
        StartDiagnostics(thermocouple);
        EXPECT_TRUE(ServeUntil([&] { return t->Cells(1, 1) == shown; })) << t->Cells(1, 1).toStdString();
        StopDiagnostics();
    }
}

TEST_F(DiagnosticsViewTest, MixedInputsShowValuesAndErrorFlags) {
    StartBus({{5, 128}});
    TRemoteIO* d = AddDevice(5, 128);
    sim->WithModule(ModuleIndex(5), [](vdsim::TSimModule& m) {
        auto& live = m.State().Live;
        live.WordInput = {0x8005, 7, 0x8009, 11, 0, 0, 0, 0};
        live.WordStatus = 0b0110; // inputs 1 and 2
    });

    StartDiagnostics(d);
    TDiagnosticStringGrid* in = View().sgDigitalInput;
    EXPECT_EQ(in->Rows(0), QStringList({"", "Value", "Acc"}));
    EXPECT_FALSE(Ui().gbDigitalOutput->isVisible());
    EXPECT_EQ(SupervisionThread->TaskCount(), 1);
    ASSERT_TRUE(ServeUntil([&] { return in->Cells(2, 4) == "11"; }));
    EXPECT_EQ(in->Cols(2), QStringList({"Acc", "5", "7", "9", "11", "0", "0", "0", "0"}));
    // Error flag alone, status bit alone, both, neither.
    EXPECT_EQ(in->Cells(0, 1), "E0- Erro");
    EXPECT_EQ(in->Cells(0, 2), "E1Erro");
    EXPECT_EQ(in->Cells(0, 3), "E2");
    EXPECT_EQ(in->Cells(0, 4), "E3");
    EXPECT_EQ(d->DigitalInput()->GetChannel(0)->InputState(), 1);
    EXPECT_EQ(d->DigitalInput()->GetChannel(1)->InputState(), 0);
    EXPECT_EQ(d->DigitalInput()->GetChannel(2)->InputState(), 1);

    // The flag going away clears the name again.
    sim->WithModule(ModuleIndex(5), [](vdsim::TSimModule& m) { m.State().Live.WordInput[0] = 6; });
    ASSERT_TRUE(ServeUntil([&] { return in->Cells(0, 1) == "E0"; }));
    EXPECT_EQ(d->DigitalInput()->GetChannel(0)->InputState(), 0);
}

TEST_F(DiagnosticsViewTest, NamedOutputModuleDecodesMaskAndInvertedOutputs) {
    StartBus({{6, 148}});
    TRemoteIO* d = AddDevice(6, 148);
    PokeHolding(6, 9, 0b101);
    PokeHolding(6, 251, 0); // "Inverter" on
    PokeHolding(6, 252, 1); // "Alarmes" off

    StartDiagnostics(d);
    TDiagnosticStringGrid* out = View().sgDigitalOutput;
    EXPECT_EQ(out->RowCount(), 11);
    EXPECT_EQ(out->Cells(0, 9), "Inverter");
    EXPECT_EQ(out->Cells(0, 10), "Alarmes");
    EXPECT_FALSE(Ui().gbDigitalInput->isVisible());
    TDigitalOutput* outputs = d->DigitalOutput();
    ASSERT_TRUE(ServeUntil([&] { return outputs->GetChannel(8)->OutputState() == 1; }));
    ASSERT_TRUE(ServeUntil([&] { return outputs->GetChannel(2)->OutputState() == 1; }));
    QList<int> states;
    for (int i = 0; i < outputs->GetCount(); ++i)
        states << outputs->GetChannel(i)->OutputState();
    EXPECT_EQ(states, QList<int>({1, 0, 1, 0, 0, 0, 0, 0, 1, 0}));
}

TEST_F(DiagnosticsViewTest, CanGatewayFillsItsNineRows) {
    StartBus({{7, 99}});
    TRemoteIO* d = AddDevice(7, 99);
    for (int i = 0; i < 9; ++i)
        PokeHolding(7, 100 + i, 10 * (i + 1));

    StartDiagnostics(d);
    TDiagnosticStringGrid* can = View().sgCanJ;
    EXPECT_TRUE(Ui().gbAnalogicCanJ->isVisible());
    EXPECT_EQ(can->Rows(0), QStringList({"Description", "Value"}));
    EXPECT_EQ(can->Cells(0, 1), "Rotation(RPM)");
    EXPECT_EQ(can->Cells(0, 9), "Sensor failure");
    ASSERT_TRUE(ServeUntil([&] { return can->Cells(1, 9) == "90"; }));
    // Both columns and all nine rows show inside the grid.
    ASSERT_EQ(can->ColCount(), 2);
    EXPECT_LE(can->ColWidths(0) + can->ColWidths(1) + 2 * can->GridLineWidth(), can->viewport()->width());
    EXPECT_FALSE(can->CellRect(1, 9).isEmpty());
    EXPECT_LT(can->CellRect(1, 9).bottom(), can->viewport()->height());
    EXPECT_EQ(can->Cols(1).mid(1), QStringList({"10", "20", "30", "40", "50", "60", "70", "80", "90"}));

    // A cell that holds no number is rewritten with the value.
    can->SetCells(1, 3, QStringLiteral("x"));
    ASSERT_TRUE(ServeUntil([&] { return can->Cells(1, 3) == "30"; }));
}

TEST_F(DiagnosticsViewTest, EnergyMeterReadsBothLinesIntoItsView) {
    StartBus({{8, 100}, {20, 0}});
    TRemoteIO* meter = AddDevice(8, 100);
    TRemoteIO* digital = AddDevice(20, 0);
    for (int r = 0; r < 12; ++r) {
        Poke(8, TSimTable::Holding, 1 + r, 100 + r);
        Poke(8, TSimTable::Holding, 1 + r, 200 + r, vdsim::TSimUnit::MeterLine2);
    }

    StartDiagnostics(meter);
    ASSERT_NE(FormDev7610BR, nullptr);
    EXPECT_TRUE(FormDev7610BR->isVisible());
    EXPECT_EQ(FormDev7610BR->parentWidget(), Ui().pDataType);
    for (QGroupBox* box : {Ui().gbAnalogicInput, Ui().gbDigitalInput, Ui().gbDigitalOutput})
        EXPECT_FALSE(box->isVisible());
    ASSERT_EQ(SupervisionThread->TaskCount(), 2);
    EXPECT_EQ(SupervisionThread->Task(0)->Slave, 8);
    EXPECT_EQ(SupervisionThread->Task(1)->Slave, 10);
    EXPECT_EQ(SupervisionThread->Task(1)->Period, 1000);
    TStringGrid* line1 = FormDev7610BR->ui().sgLine1;
    TStringGrid* line2 = FormDev7610BR->ui().sgLine2;
    ASSERT_TRUE(ServeUntil([&] { return line2->Cells(1, 11) == "211"; }));
    EXPECT_EQ(line1->Cells(1, 0), "100");
    EXPECT_EQ(line1->Cells(1, 11), "111");
    EXPECT_EQ(line2->Cells(1, 0), "200");
    StopDiagnostics();
    EXPECT_FALSE(FormDev7610BR->isVisible());

    // Another device afterwards: the meter view stays away and the digital grids come back.
    StartDiagnostics(digital);
    EXPECT_FALSE(FormDev7610BR->isVisible());
    EXPECT_NE(FormDev7610BR->parentWidget(), Ui().pDataType);
    EXPECT_TRUE(Ui().gbDigitalInput->isVisible());
}
