#pragma once
// The program's windows against the module simulator on a kernel-picked port: devices put into the
// network as a search would leave them, diagnostics started and stopped through the window's button,
// and the main thread served while the supervision thread polls.
#include "app/CalibrationPanel.h"
#include "app/DiagnosticStringGrid.h"
#include "app/Diagnostics.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "app/StatusBar.h"
#include "classlib/InplaceEdit.h"
#include "classlib/Thread.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/IOClasses.h"
#include "tests/app/AppFixture.h"
#include "tests/support/StillSimulator.h"
#include "tools/sim/Simulator.h"
#include "ui_Main.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class DiagFixture : public ::testing::Test {
protected:
    void StartBus(std::vector<vdsim::TSimModuleDef> modules) {
        sim = StartStillSimulator(std::move(modules));
        StartWindows(sim->Port());
    }

    void StartWindows(int port) {
        app.Start();
        FormMain->show();
        FormMain->activateWindow();
        ModbusMaster->ConnectionType = 1;
        ModbusMaster->Socket->Host = QStringLiteral("127.0.0.1");
        ModbusMaster->Socket->Port = port;
        ModbusMaster->Timeout = 200;
        ModbusMaster->Retries = 0;
    }

    // A device as a search leaves it: answering at its address, with the model's channel groups.
    TRemoteIO* AddDevice(int address, int model) {
        TRemoteIO* device = FormMain->Network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(address);
        device->Comm()->SetAddress(address);
        device->Information()->SetModelCode(model);
        device->SetModified(false);
        FormMain->RefillDeviceCombo(FormMain->Network->GetCount() - 1);
        return device;
    }

    void Choose(TRemoteIO* device) {
        FormMain->RefillDeviceCombo(int(FormMain->Network->Devices().indexOf(device)));
    }

    void StartDiagnostics(TRemoteIO* device) {
        Choose(device);
        FormMain->btDiagnosticClick();
        ASSERT_TRUE(FormMain->DiagnosticRunning);
        ASSERT_NE(SupervisionThread, nullptr);
    }

    void StopDiagnostics() {
        if (View().btDiagnosticTag == 1)
            FormMain->btDiagnosticClick();
    }

    // Serves the main thread (the display's calls) until done; false when it never came.
    static bool ServeUntil(const std::function<bool()>& done, int limitMs = 10000) {
        QElapsedTimer guard; // a hang guard only, no timing assertion
        guard.start();
        while (!done() && guard.elapsed() < limitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            TThread::CheckSynchronize();
        }
        return done();
    }

    // Serves until the supervision has shown this many more results.
    bool ServeResults(int count) {
        const int target = OkCount() + count;
        return ServeUntil([&] { return OkCount() >= target; });
    }

    int OkCount() const {
        const QString text = Panel(4);
        return text.startsWith(QLatin1String("OK:")) ? text.mid(3).toInt() : 0;
    }

    TDiagnosticsView& View() const { return *FormMain->Diagnostics(); }
    Ui::TFormMain& Ui() const { return FormMain->ui(); }
    QString Panel(int index) const { return FormMain->StatusBarDaxo()->PanelText(index); }
    QStringList Messages() const { return app.presenter->Texts(); }

    std::size_t ModuleIndex(int address) const { return sim->FindModule(address).value(); }
    vdsim::TSimModuleState Module(int address) const { return sim->State(ModuleIndex(address)); }
    void Poke(int address, vdsim::TSimTable table, int wire, int value,
              vdsim::TSimUnit unit = vdsim::TSimUnit::Module) {
        sim->WithModule(ModuleIndex(address), [&](vdsim::TSimModule& m) {
            EXPECT_EQ(m.Poke(table, std::uint16_t(wire), std::uint16_t(value), unit), 0) << "poke " << wire;
        });
    }
    void PokeHolding(int address, int wire, int value) {
        Poke(address, vdsim::TSimTable::Holding, wire, value);
    }

    // Types text into a grid cell through its in-place editor and presses Enter there.
    static void TypeIntoCell(TDiagnosticStringGrid* grid, int col, int row, const QString& text) {
        grid->setFocus();
        grid->SetCol(col);
        grid->SetRow(row);
        QTest::keyClick(grid, Qt::Key_F2);
        QWidget* editor = grid->InplaceEditor();
        ASSERT_NE(editor, nullptr) << "no editor on the cell";
        ASSERT_TRUE(editor->isVisible());
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    void TearDown() override {
        if (FormMain)
            StopDiagnostics();
        app.Stop();
        sim.reset();
    }

    TAppFixture app;
    std::unique_ptr<vdsim::TSimulator> sim;
};
