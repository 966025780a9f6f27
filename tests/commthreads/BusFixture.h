#pragma once
// A simulator on a kernel-picked port, the real master pointed at it over TCP (or its modules on a scripted
// line), a network on a tree, and recording hosts for the search and writer threads.
#include <atomic>

#include "comm/CommunicationThread.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/IOClasses.h"
#include "tests/support/RecordingPresenter.h"
#include "tests/support/SimBusLine.h"
#include "tests/support/StillSimulator.h"
#include "tools/sim/Simulator.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>

class TRecordingHosts : public TFindSlaveHost, public TSaveConfigHost {
public:
    explicit TRecordingHosts(TRemoteIONetwork* network) : m_network(network) {}

    TRemoteIONetwork* Network() override { return m_network; }
    void ShowSearchProgress() override {
        ++progressCalls;
        if (onProgress)
            onProgress(progressCalls);
    }
    void SetStatusText(const QString& text) override { statusText = text; }
    void RefreshStatusBar() override { ++statusBarRefreshes; }
    void AddLogLine(const QString& line) override { logLines << line; }
    void SearchEnded() override { searchEnded = true; }

    void ShowSaveProgress(const QString& text) override { saveProgress << text; }
    bool CalibrationVisible() override { return calibrationVisible; }
    void CloseSaveProgress() override { ++progressClosed; }

    std::function<void(int)> onProgress;
    int progressCalls = 0;
    QString statusText;
    int statusBarRefreshes = 0;
    bool searchEnded = false;
    QStringList logLines;
    QStringList saveProgress;
    bool calibrationVisible = false;
    int progressClosed = 0;

private:
    TRemoteIONetwork* m_network;
};

class BusFixture : public ::testing::Test {
protected:
    void StartSimulator(std::vector<vdsim::TSimModuleDef> modules) {
        sim = StartStillSimulator(std::move(modules));
        master.ConnectionType = 1;
        master.Socket->Host = QStringLiteral("127.0.0.1");
        master.Socket->Port = sim->Port();
        master.Timeout = WideTimeout;
    }

    // The simulator's modules on a scripted line: a case whose replies must come in time or late by a
    // known margin gets them so, however busy the machine.
    void StartSimulatorOnScriptedLine(std::vector<vdsim::TSimModuleDef> modules) {
        vdsim::TSimOptions options;
        options.Modules = std::move(modules);
        options.Tcp = false;
        options.Still = true;
        sim = std::make_unique<vdsim::TSimulator>(options);
        auto owned = std::make_unique<TSimBusLine>(sim->Bus());
        line = owned.get();
        master.SetSerialTransport(std::move(owned));
        master.ConnectionType = 0;
        master.Timeout = WideTimeout;
    }

    vdsim::TSimModuleState Module(int address) {
        const auto index = sim->FindModule(address);
        EXPECT_TRUE(index.has_value()) << "no module at " << address;
        return sim->State(index.value_or(0));
    }

    // Starts a search over the range (or the factory address) and serves the main thread until it ended.
    void Search(int begin, int end, bool factory = false) {
        auto* thread = TThread::Create<TFindSlaveThread>(true, &master, &hosts);
        FindOptions.BeginAddress = begin;
        FindOptions.EndAddress = end;
        FindOptions.UseFactoryDefault = factory;
        searchThread = thread;
        thread->Resume();
        ServeUntil([this] { return hosts.searchEnded; });
        searchThread = nullptr;
    }

    // Runs the writer over its task list and frees it, as Send Config does.
    int Send(TSaveConfigThread* thread) {
        thread->Resume();
        thread->WaitFor();
        const int result = thread->Result();
        delete thread;
        return result;
    }

    TSaveConfigThread* NewWriter(TRemoteIO* device) {
        auto* thread = TThread::Create<TSaveConfigThread>(true, &master, &hosts);
        thread->Device = device;
        thread->NewAddress = device->Comm()->Address();
        thread->NewBaudRate = master.SerialPort->BaudRate;
        thread->NewStopBits = master.SerialPort->StopBits;
        thread->NewParity = master.SerialPort->Parity;
        return thread;
    }

    static void AddWrite(TSaveConfigThread* t, int function, int slave, int number, int value) {
        TCommunicationTask* task = t->AddTask();
        task->FunctionCode = quint8(function);
        task->Slave = quint8(slave);
        task->Number = quint16(number);
        task->SetValue(value);
    }

    static void ServeUntil(const std::function<bool()>& done) {
        QElapsedTimer guard; // a hang guard only, no timing assertion
        guard.start();
        while (!done() && guard.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            TThread::CheckSynchronize();
        }
        ASSERT_TRUE(done()) << "the worker never ended";
        // The self-freeing thread is deleted by a posted event after its end handler.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Timing is not what most of these tests test: wide timeouts keep a busy machine's slow answer an
    // answer. A test of timing sets its own.
    static constexpr int WideTimeout = 500;

    void SetUp() override {
        FindOptions.Reset();
        TFindSlaveThread::SearchTimeoutMs = WideTimeout;
    }
    void TearDown() override {
        FindOptions.Reset();
        TFindSlaveThread::SearchTimeoutMs = TFindSlaveThread::SearchTimeout;
    }

    ScopedRecordingPresenter messages;
    TTreeNodes nodes;
    TRemoteIONetwork network{nullptr, &nodes, nullptr};
    TRecordingHosts hosts{&network};
    TModbusSerialTCPMaster master;
    std::unique_ptr<vdsim::TSimulator> sim;
    TSimBusLine* line = nullptr; // owned by the master, on a scripted line
    // Read by a test's own thread that cancels the search.
    std::atomic<TFindSlaveThread*> searchThread = nullptr;
};
