#pragma once
// Bus workers for window tests: they record what the windows ask of them and end when told to.
#include "app/WorkerJobs.h"
#include <optional>
#include <vector>

struct TSearchJobLog {
    int created = 0;
    int started = 0;
    int terminated = 0;
    int destroyed = 0;
};

class TFakeSearchJob : public TSearchJob {
public:
    explicit TFakeSearchJob(TSearchJobLog& log) : m_log(log) { ++m_log.created; }
    ~TFakeSearchJob() override { ++m_log.destroyed; }
    void Start() override { ++m_log.started; }
    void Terminate() override { ++m_log.terminated; }

private:
    TSearchJobLog& m_log;
};

struct TSaveJobLog {
    int created = 0;
    int started = 0;
    int waited = 0;
    int destroyed = 0;
    TRemoteIO* device = nullptr;
    int newAddress = 0;
    std::optional<TLineSettings> line;
    std::vector<TSendConfigTask> tasks;
};

class TFakeSaveConfigJob : public TSaveConfigJob {
public:
    explicit TFakeSaveConfigJob(TSaveJobLog& log) : m_log(log) { ++m_log.created; }
    ~TFakeSaveConfigJob() override { ++m_log.destroyed; }
    void SetDevice(TRemoteIO* device, int newAddress) override {
        m_log.device = device;
        m_log.newAddress = newAddress;
    }
    void SetLineSettings(const TLineSettings& settings) override { m_log.line = settings; }
    void AddTask(const TSendConfigTask& task) override { m_log.tasks.push_back(task); }
    int TaskCount() const override { return int(m_log.tasks.size()); }
    void Start() override { ++m_log.started; }
    void WaitFor() override { ++m_log.waited; }

private:
    TSaveJobLog& m_log;
};

// Installs the fakes for the guard's lifetime.
class TFakeWorkers {
public:
    TFakeWorkers() {
        m_old = WorkerJobs;
        WorkerJobs.NewSearch = [this](TModbusSerialTCPMaster&) {
            return std::make_unique<TFakeSearchJob>(search);
        };
        WorkerJobs.NewSaveConfig = [this](TModbusSerialTCPMaster&) {
            return std::make_unique<TFakeSaveConfigJob>(save);
        };
        WorkerJobs.StopSupervision = [this] { ++supervisionStops; };
    }
    ~TFakeWorkers() { WorkerJobs = m_old; }
    TFakeWorkers(const TFakeWorkers&) = delete;
    TFakeWorkers& operator=(const TFakeWorkers&) = delete;

    TSearchJobLog search;
    TSaveJobLog save;
    int supervisionStops = 0;

private:
    TWorkerJobs m_old;
};
