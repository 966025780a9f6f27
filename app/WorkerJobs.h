#pragma once
// The windows' way to the bus workers. The search, the configuration writer and the supervision run
// on worker threads of comm/; the windows reach them only through these small jobs, which the program
// installs at start (and tests replace with their own).
#include "app/SendConfigTasks.h"
#include <functional>
#include <memory>

class TModbusSerialTCPMaster;
class TRemoteIO;

// One device search: created (suspended) by the search dialog for each Find, started once.
// While it runs, its end handler calls TFormFindSlave::SearchEnded on the main thread, and its
// progress calls TFormFindSlave::ShowSearchProgress. Destroying a job that was never started
// discards its worker; destroying it after SearchEnded must not touch the (self-freeing) worker.
class TSearchJob {
public:
    virtual ~TSearchJob() = default;
    virtual void Start() = 0;
    // Asks the running search to stop before the next address.
    virtual void Terminate() = 0;
};

// One configuration send: filled, started, and waited for by Send Config while the progress dialog
// is shown; its end handler closes FormSaveConfigStatus. Destroying the job frees its worker.
class TSaveConfigJob {
public:
    virtual ~TSaveConfigJob() = default;
    // The device being configured and the address it is configured with.
    virtual void SetDevice(TRemoteIO* device, int newAddress) = 0;
    virtual void SetLineSettings(const TLineSettings& settings) = 0;
    virtual void AddTask(const TSendConfigTask& task) = 0;
    virtual int TaskCount() const = 0;
    virtual void Start() = 0;
    // Waits for the end while still serving the worker's calls to the main thread.
    virtual void WaitFor() = 0;
    // After WaitFor: whether the module took every write.
    virtual bool Succeeded() const { return true; }
};

struct TWorkerJobs {
    std::function<std::unique_ptr<TSearchJob>(TModbusSerialTCPMaster&)> NewSearch;
    std::function<std::unique_ptr<TSaveConfigJob>(TModbusSerialTCPMaster&)> NewSaveConfig;
    // Terminates the running supervision, waits for it and frees it (its end handler clears
    // TFormMain::DiagnosticRunning).
    std::function<void()> StopSupervision;
};

// The jobs on the threads of comm/: the search, the configuration writer and the stop of the
// supervision (which the diagnostics view creates as SupervisionThread).
TWorkerJobs ThreadWorkerJobs();

inline TWorkerJobs WorkerJobs = ThreadWorkerJobs();
