#pragma once
// The worker threads that own the bus while they run: the device search and the configuration writer.
// Each opens the master when it starts; every change of the model, the dialogs or the master's settings
// runs on the main thread, through Synchronize or in the end handler.
#include "classlib/Thread.h"
#include "comm/CommunicationHosts.h"
#include "comm/CommunicationTask.h"
#include "comm/FindOptions.h"
#include "comm/SupervisionThread.h"
#include <memory>
#include <vector>

class TModbusSerialTCPMaster;
class TRemoteIO;

// Searches a range of slave addresses (or the factory address 247) for modules, builds a device for
// each answer and reads its channel configuration back into the model. It frees itself when it ends.
class TFindSlaveThread : public TThread {
    Q_OBJECT

public:
    // The reply timeout while searching, in ms.
    static constexpr int SearchTimeout = 100;
    // The timeout a search takes when it starts: SearchTimeout, unless a test that does not test timing
    // widens it, so that a slow answer on a busy machine is not taken for a missing module.
    static inline int SearchTimeoutMs = SearchTimeout;
    static constexpr int FactoryAddress = 247;

    // Resets FindOptions to their defaults: the search dialog sets them before it resumes the thread.
    TFindSlaveThread(bool createSuspended, TModbusSerialTCPMaster* master, TFindSlaveHost* host);

    TModbusSerialTCPMaster* Master() const { return m_master; }
    int Step() const { return m_step; }
    // 0 done, 1 the connection failed.
    int Result() const { return m_result; }
    TRemoteIO* Device() const { return m_device; }

protected:
    void Execute() override;
    // Cancel ends the request in flight at once.
    void TerminateRequested() override;

private:
    // A step that fails is skipped and logged: that part of the device keeps its defaults.
    void ReadDevice(int address, int factor);
    // Files the answer under the address it came from; the address register is the configured address.
    void ApplyInfo();
    void ApplyStep();
    void ShowProgress();
    void OnThreadTerminate();

    TModbusSerialTCPMaster* m_master;
    TFindSlaveHost* m_host;
    int m_step = -1;
    int m_result = 0;
    TRemoteIO* m_device = nullptr;
    // The address the last information block answered at, and its registers, for ApplyInfo.
    int m_answeredAt = 0;
    std::vector<int> m_info;
    // Read steps that failed in this search: their parts of the devices show defaults.
    int m_unreadSteps = 0;
};

// Sends a write-task list to one module, one single-coil or single-register write after the other, and
// makes the model follow what was written. Send Config waits for it and frees it.
class TSaveConfigThread : public TThread {
    Q_OBJECT

public:
    TSaveConfigThread(bool createSuspended, TModbusSerialTCPMaster* master, TSaveConfigHost* host);
    ~TSaveConfigThread() override;

    // A new task at the end of the list, for the caller to fill.
    TCommunicationTask* AddTask();
    int GetTaskCount() const { return int(m_tasks.size()); }
    const TCommunicationTask* Task(int index) const { return m_tasks.at(size_t(index)).get(); }

    TModbusSerialTCPMaster* Master() const { return m_master; }
    // 0 every task written, 1 the connection failed, 2 a write failed.
    int Result() const { return m_result; }
    int Index() const { return m_index; }
    bool LastOk() const { return m_lastOk; }

    // The device being configured and the line settings being written.
    TRemoteIO* Device = nullptr;
    qint32 NewAddress = 0;
    qint32 NewBaudRate = 0;
    quint8 NewStopBits = 1;
    quint8 NewParity = 0; // 0 none, 1 odd, 2 even

protected:
    void Execute() override;

private:
    bool SendTask(const TCommunicationTask& task);
    void ShowProgress();
    void OnThreadTerminate();

    TModbusSerialTCPMaster* m_master;
    TSaveConfigHost* m_host;
    std::vector<std::unique_ptr<TCommunicationTask>> m_tasks;
    int m_result = 0;
    int m_index = 0;
    const TCommunicationTask* m_current = nullptr;
    bool m_lastOk = false;
};
