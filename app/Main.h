#pragma once
// TFormMain: the main window. It owns the Modbus master, the device network (the root of the model and
// of the tree) and, later, the inspector; it carries the tool bar, the network tree, the property and
// diagnostics areas and the six-panel status bar.
#include "app/SendConfigTasks.h"
#include <QWidget>
#include <memory>

namespace Ui {
class TFormMain;
}
class QPainter;
class TCalibrationPanel;
class TDiagnosticsView;
class TCollectionItem;
class TInspectorLink;
class TRSItemProperty;
class TRemoteIO;
class TRemoteIONetwork;
class TStatusBar;
class TTreeNode;
class TTreeNodes;

// The calibration panel's state (read by Send Config).
inline TCalibrationState Calibration;
// The open calibration box was hidden by a tree selection and comes back with a later one.
inline bool CalibrationBoxRestore = false;

class TFormMain : public QWidget {
    Q_OBJECT

public:
    explicit TFormMain(QWidget* parent = nullptr);
    // FormDestroy.
    ~TFormMain() override;

    TRemoteIONetwork* Network = nullptr; // owned
    // A supervision thread is running.
    bool DiagnosticRunning = false;
    // The tree object last selected when it is a channel item, else nullptr.
    TCollectionItem* SelectedItem = nullptr;

    Ui::TFormMain& ui() { return *m_ui; }
    TStatusBar* StatusBarDaxo() const;
    TTreeNodes* NetworkNodes() const { return m_nodes; }
    // The object of the selected tree node, or nullptr.
    QObject* SelectedObject() const;

    void StatusBarDaxoDrawPanel(TStatusBar* statusBar, QPainter& canvas, int panel, const QRect& rect);
    void OutlookBtn_FindClick();
    void OutlookBtn_SetupClick();
    void OutlookBtn_SendConfigClick();
    void OutlookBtn_HelpClick();
    void OutlookBtn_ExitClick();
    void toolbtnLogClick();
    void toolbtnAboutClick();
    // The Language button: the next language with a catalogue, and the window translated again.
    void Image1Click();
    void Splitter1Moved();
    // Starts diagnostics of the device chosen in cbDiagnostic, or stops them.
    void btDiagnosticClick();
    TDiagnosticsView* Diagnostics() const { return m_diagnostics; }
    TCalibrationPanel* CalibrationPanel() const { return m_calibrationPanel; }

    void tvNetworkChange(TTreeNode* node);
    // The inspector's OnPropertyChanged: the device of the edited object is marked modified.
    void RSObjectInspector1PropertyChanged(QObject* sender, TRSItemProperty* item);
    // The inspector's OnGetPickList: a digital input of a model without the Mixed function loses it.
    void RSObjectInspector1GetPickList(QObject* sender, const QString& PropName, QStringList& Values);
    // The inspector's OnAfterScan: collection rows show no value; "InputFunction" is read-only for the
    // inputs that work in the Mixed function only.
    void RSObjectInspector1AfterScan(QObject* sender);
    void cbDiagnosticChange();
    // Refills the device combo from the network and selects keepIndex (entry 0 when it is past the
    // end; -1 selects nothing), then runs cbDiagnosticChange.
    void RefillDeviceCombo(int keepIndex);
    // Empties the network for a search, with the tree's change handler detached meanwhile.
    void ClearNetwork();

    // How a send ended: sent, refused before anything was sent (the refusal was shown), or failed on
    // the bus (the status bar shows the error).
    enum class TSendOutcome { Sent, Refused, Failed };
    // Checks, builds and sends one device's configuration (or the calibration commands).
    TSendOutcome SendConfig(TRemoteIO* Device);

    // The settings file: read the seven values, write them, and write the master's settings.
    void lini(QString& Baudrate, QString& Stopbit, QString& Parity, QString& Channel, QString& Ip,
              QString& Port, QString& Comtype);
    void gini(const QString& Baudrate, const QString& Stopbit, const QString& Parity, const QString& Channel,
              const QString& Ip, const QString& Port, const QString& Comtype);
    // False when the settings could not be written; the failure is shown when reportFailure is set.
    bool SaveParameters(bool reportFailure = true);

    // FormCloseQuery and FormClose: stop a running supervision, then save the settings.
    bool FormCloseQuery();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    // The language at start; translates the window.
    void initInternationalization();
    void TranslateInspectorTitles();
    void FormShow();
    void StopSupervision();
    void AttachTreeChange();
    void DetachTreeChange();
    void ShowInspected(QObject* object);
    // The inspector's settings, its events and the model's way to it.
    void SetupInspector();
    // Applies the settings file to the master when all seven values are present.
    void LoadParameters();
    // A settings file that cannot be read or written back is said once the window shows.
    void WarnOfSettingsProblem();
    void CalibrationSettling(int seconds);
    // Keeps the device's combo entry named as the device; the watches go with the entries.
    void FollowDeviceName(TRemoteIO* device);
    void ForgetDeviceNames();

    std::unique_ptr<Ui::TFormMain> m_ui;
    TTreeNodes* m_nodes = nullptr; // child QObject
    QMetaObject::Connection m_treeChange;
    std::unique_ptr<TInspectorLink> m_inspectorLink;
    TDiagnosticsView* m_diagnostics = nullptr;       // child QObject
    TCalibrationPanel* m_calibrationPanel = nullptr; // child QObject
    TInspectorLink* m_previousInspectorLink = nullptr;
    bool m_shown = false;
    // The close request in progress could not write the settings.
    bool m_closeSaveFailed = false;
    QList<QMetaObject::Connection> m_deviceNames;
};
