#pragma once
// The program's windows against a module simulator on 127.0.0.1, and a search through the search dialog.
#include "app/Find.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "comm/CommunicationThread.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "tests/app/AppFixture.h"
#include "tests/app/ModalDeadline.h"
#include "tests/support/StillSimulator.h"
#include "tools/sim/Simulator.h"
#include "ui_Find.h"
#include <memory>

struct TBusCase {
    // Timing is not what these tests test: wide timeouts keep a busy machine's slow answer an answer.
    static constexpr int WideTimeout = 500;

    TAppFixture app;
    std::unique_ptr<vdsim::TSimulator> sim;

    explicit TBusCase(std::vector<vdsim::TSimModuleDef> modules = {{1, 0}, {2, 62}, {3, 63}}) {
        sim = StartStillSimulator(std::move(modules));
        app.Start();
        FormMain->show();
        ModbusMaster->ConnectionType = 1;
        ModbusMaster->Socket->Host = QStringLiteral("127.0.0.1");
        ModbusMaster->Socket->Port = sim->Port();
        ModbusMaster->Timeout = WideTimeout;
        TFindSlaveThread::SearchTimeoutMs = WideTimeout;
    }
    ~TBusCase() { TFindSlaveThread::SearchTimeoutMs = TFindSlaveThread::SearchTimeout; }
    TBusCase(const TBusCase&) = delete;
    TBusCase& operator=(const TBusCase&) = delete;

    // The search dialog is modal: the range goes in once it shows, and the search's end closes it.
    [[nodiscard]] bool Search(int begin, int end) {
        QMetaObject::invokeMethod(
            FormFindSlave,
            [=] {
                FormFindSlave->ui().edBegin->setText(QString::number(begin));
                FormFindSlave->ui().edEnd->setText(QString::number(end));
                FormFindSlave->ui().btFind->click();
            },
            Qt::QueuedConnection);
        const bool ended = EndsBeforeDeadline([] { FormMain->OutlookBtn_FindClick(); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return ended;
    }
    vdsim::TSimModuleState Module(int address) { return sim->State(sim->FindModule(address).value()); }
    template <class F> void Edit(int address, F&& edit) {
        sim->WithModule(sim->FindModule(address).value(), [&](vdsim::TSimModule& m) { edit(m.State()); });
    }
};
