#include "app/WorkerJobs.h"
#include "app/CommConfig.h"
#include "app/Find.h"
#include "app/Globals.h"
#include "app/Log.h"
#include "app/Main.h"
#include "app/StatusBar.h"
#include "app/StatusSendConfig.h"
#include "comm/CommunicationThread.h"
#include "ui_Main.h"

namespace {

constexpr int kStatusPanel = 3;

void SetStatusPanel(const QString& text) {
    if (FormMain)
        FormMain->StatusBarDaxo()->SetPanelText(kStatusPanel, text);
}

void RefreshConnectionPanels() {
    if (FormCommunicationConfig)
        FormCommunicationConfig->RefreshStatusBar();
}

// What the threads reach on the main thread: the program's windows.
class TWindowsFindHost : public TFindSlaveHost {
public:
    TRemoteIONetwork* Network() override { return FormMain ? FormMain->Network : nullptr; }
    void ShowSearchProgress() override {
        if (FormFindSlave)
            FormFindSlave->ShowSearchProgress();
    }
    void SetStatusText(const QString& text) override { SetStatusPanel(text); }
    void RefreshStatusBar() override { RefreshConnectionPanels(); }
    void AddLogLine(const QString& line) override {
        if (FormLog)
            FormLog->AddLine(line);
    }
    void SearchEnded() override {
        FindThread = nullptr;
        if (FormFindSlave)
            FormFindSlave->SearchEnded();
    }
};

class TWindowsSaveHost : public TSaveConfigHost {
public:
    void ShowSaveProgress(const QString& text) override {
        if (FormSaveConfigStatus)
            FormSaveConfigStatus->ShowProgress(text);
    }
    bool CalibrationVisible() override { return FormMain && FormMain->ui().gbCalibration->isVisible(); }
    void SetStatusText(const QString& text) override { SetStatusPanel(text); }
    void RefreshStatusBar() override { RefreshConnectionPanels(); }
    void CloseSaveProgress() override {
        if (FormSaveConfigStatus)
            FormSaveConfigStatus->done(QDialog::Accepted);
    }
};

TWindowsFindHost& FindHost() {
    static TWindowsFindHost host;
    return host;
}

TWindowsSaveHost& SaveHost() {
    static TWindowsSaveHost host;
    return host;
}

class TThreadSearchJob : public TSearchJob {
public:
    explicit TThreadSearchJob(TModbusSerialTCPMaster& master)
        : m_thread(TThread::Create<TFindSlaveThread>(true, &master, &FindHost())) {}
    // A started search frees itself after its end handler; one never started goes here.
    ~TThreadSearchJob() override {
        if (!m_started)
            TThreadDeleter()(m_thread);
    }
    void Start() override {
        m_started = true;
        FindThread = m_thread;
        m_thread->Resume();
    }
    void Terminate() override {
        if (m_started && FindThread == m_thread)
            m_thread->Terminate();
    }

private:
    TFindSlaveThread* m_thread;
    bool m_started = false;
};

class TThreadSaveConfigJob : public TSaveConfigJob {
public:
    explicit TThreadSaveConfigJob(TModbusSerialTCPMaster& master)
        : m_thread(TThread::Create<TSaveConfigThread>(true, &master, &SaveHost())) {}
    ~TThreadSaveConfigJob() override {
        if (SaveConfigThread == m_thread.get())
            SaveConfigThread = nullptr;
    }
    void SetDevice(TRemoteIO* device, int newAddress) override {
        m_thread->Device = device;
        m_thread->NewAddress = newAddress;
    }
    void SetLineSettings(const TLineSettings& settings) override {
        m_thread->NewBaudRate = settings.BaudRate;
        m_thread->NewStopBits = quint8(settings.StopBits);
        m_thread->NewParity = quint8(settings.Parity);
    }
    void AddTask(const TSendConfigTask& task) override { *m_thread->AddTask() = task; }
    int TaskCount() const override { return m_thread->GetTaskCount(); }
    void Start() override {
        SaveConfigThread = m_thread.get();
        m_thread->Resume();
    }
    void WaitFor() override { m_thread->WaitFor(); }
    bool Succeeded() const override { return m_thread->Result() == 0; }

private:
    TThreadPtr<TSaveConfigThread> m_thread;
};

} // namespace

TWorkerJobs ThreadWorkerJobs() {
    TWorkerJobs jobs;
    jobs.NewSearch = [](TModbusSerialTCPMaster& master) -> std::unique_ptr<TSearchJob> {
        return std::make_unique<TThreadSearchJob>(master);
    };
    jobs.NewSaveConfig = [](TModbusSerialTCPMaster& master) -> std::unique_ptr<TSaveConfigJob> {
        return std::make_unique<TThreadSaveConfigJob>(master);
    };
    jobs.StopSupervision = [] {
        TSupervisionThread* thread = SupervisionThread;
        if (!thread)
            return;
        // Terminate, then wait while serving its display calls and its end handler, then free.
        TThreadDeleter()(thread);
        if (SupervisionThread == thread)
            SupervisionThread = nullptr;
    };
    return jobs;
}
