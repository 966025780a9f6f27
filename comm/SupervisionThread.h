#pragma once
// TSupervisionThread: the worker behind the diagnostics view. It polls a list of read tasks in turn,
// each no more often than its period, sends the live writes the user commits before the next poll, and
// hands every finished request to ShowResult, which runs on the main thread and decodes the reply into
// the channel objects, the diagnostics grids, the status panels and the traffic log.
#include "classlib/Thread.h"
#include "comm/CommunicationTask.h"
#include <QString>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class TModbusSerialTCPMaster;
class TRegisterArray;
class TRemoteIO;
class TStringGrid;

// The diagnostics grids the live display writes into.
enum class TDiagnosticGrid { AnalogicInput, AnalogicOutput, DigitalInput, DigitalOutput, CanJ, Temperature };

// How the display decodes the reply of a poll task (TCommunicationTask::DisplayKind).
namespace DisplayKind {
constexpr int Digital = 0;          // digital grids, by function code
constexpr int AnalogicOutput = 1;   // sgAnalogicOutput
constexpr int AnalogicInput = 2;    // sgAnalogicInput
constexpr int MixedInputs = 3;      // model 128: input values with error flags
constexpr int OutputMask = 4;       // model 148: output bit mask
constexpr int NamedOutputs = 5;     // model 148: "Inverter" and "Alarmes"
constexpr int CanJ = 6;             // model 99: sgCanJ
constexpr int EnergyMeterLine1 = 7; // model 100
constexpr int EnergyMeterLine2 = 8; // model 100
constexpr int Temperature = 9;      // sgTemperature
} // namespace DisplayKind

// What the live display reaches on the main thread: the main window implements it, tests do too.
// Every call runs on the main thread.
class TSupervisionHost {
public:
    virtual ~TSupervisionHost() = default;
    // The grid, or nullptr when there is none.
    virtual TStringGrid* Grid(TDiagnosticGrid grid) = 0;
    // The grid row whose cell the user is editing (the grid's Tag; 0 when none): the display leaves
    // that row's cells alone.
    virtual int EditingRow(TDiagnosticGrid grid) = 0;
    // Status bar panel 3 (last result), 4 ("OK:" count) or 5 ("ER:" count).
    virtual void SetStatusPanel(int panel, const QString& text) = 0;
    // One line of the traffic log.
    virtual void AddLogLine(const QString& line) = 0;
    // The energy-meter view's UpdateLine with the reply and the display kind (7 line 1, 8 line 2).
    virtual void UpdateEnergyMeter(const TRegisterArray& registers, int kind) = 0;
    // The supervision has ended: the main window clears DiagnosticRunning.
    virtual void SupervisionEnded() = 0;
    // A request's result has been shown: a poll (with its Target) or a live write (without), and
    // whether the module answered it.
    virtual void ResultShown(const TCommunicationTask& task, bool ok) {
        static_cast<void>(task);
        static_cast<void>(ok);
    }
};

class TSupervisionThread : public TThread {
    Q_OBJECT

public:
    // The pause after every visited task, in ms: it bounds the bus load and the worker's processor use.
    static constexpr int PollPause = 50;

    // Not freed on termination: the main window terminates it, waits for it and frees it.
    TSupervisionThread(bool createSuspended, TModbusSerialTCPMaster* master, TSupervisionHost* host);
    ~TSupervisionThread() override;

    // A new poll task at the end of the list, for the caller to fill before the start.
    TCommunicationTask* AddTask();
    int TaskCount() const { return int(m_tasks.size()); }
    const TCommunicationTask* Task(int index) const { return m_tasks.at(size_t(index)).get(); }

    // A new write task for the caller to fill (main thread); it replaces one that was never committed.
    TCommunicationTask* NewWriteTask();
    // Hands the filled write task to the worker, which sends it before its next poll. Writes committed
    // while an earlier one waits are sent in turn, none is dropped.
    void CommitWriteTask();
    // The write being filled, or nullptr.
    TCommunicationTask* PendingWrite() const { return m_pendingWrite.get(); }
    // Committed writes not yet sent.
    int WritesWaiting() const;

    TModbusSerialTCPMaster* Master() const { return m_master; }
    // 0, or 1 when the connection failed.
    int Result() const { return m_result; }
    bool LastOk() const { return m_lastOk; }
    // Good and failed requests shown since the start.
    int OkCount() const { return m_okCount; }
    int ErrorCount() const { return m_errorCount; }

protected:
    void Execute() override;
    // Ends the request in flight at once: a stop never waits for Timeout and Retries.
    void TerminateRequested() override;

private:
    std::unique_ptr<TCommunicationTask> TakeWrite();
    // After a request that found the line gone, waits for the master's next connect attempt instead of
    // sending requests that fail at once.
    void AwaitLine();
    bool Cancelled() const;
    void SendWrite(TCommunicationTask& task);
    void Poll(TCommunicationTask& task);
    void ShowResult();
    void ShowRegisters(const TCommunicationTask& task, TRemoteIO& device);
    void OnThreadTerminate();

    TModbusSerialTCPMaster* m_master;
    TSupervisionHost* m_host;
    std::vector<std::unique_ptr<TCommunicationTask>> m_tasks;
    // The task whose result is being shown.
    const TCommunicationTask* m_current = nullptr;
    // Filled on the main thread; moves to m_writes when committed.
    std::unique_ptr<TCommunicationTask> m_pendingWrite;
    mutable std::mutex m_writeLock;
    std::deque<std::unique_ptr<TCommunicationTask>> m_writes; // guarded by m_writeLock
    bool m_lastOk = false;
    int m_result = 0;
    int m_okCount = 0;
    int m_errorCount = 0;
};
