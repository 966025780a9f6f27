#pragma once
// TFormCommunicationConfig: the modal dialog for the Modbus master's connection settings, and the
// writer of the main window's connection panels.
#include <QDialog>
#include <memory>

namespace Ui {
class TFormCommunicationConfig;
}
class TModbusSerialTCPMaster;
class TStatusBar;

class TFormCommunicationConfig : public QDialog {
    Q_OBJECT

public:
    explicit TFormCommunicationConfig(QWidget* parent = nullptr);
    ~TFormCommunicationConfig() override;

    // The connection type as last loaded from the master (0 serial, 1 TCP); written to the settings file.
    int ConnectionType = 0;

    // Fills items with the serial port names of the registry.
    static void ListSerialPorts(QStringList& items);
    // Copies the master's settings into the controls.
    void LoadFromMaster();
    // LoadFromMaster, then writes the main window's status panels 0 to 2.
    void RefreshStatusBar();

    Ui::TFormCommunicationConfig& ui() { return *m_ui; }

    void btOkClick();
    void btCancelClick();
    void rgConnectionClick();
    void rgStopbitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void RelistPorts();
    // The port name in the box, and whether OK may take it.
    bool TypedPortAccepted(QString& portName) const;
    TModbusSerialTCPMaster* Master() const;
    TStatusBar* StatusBar() const;

    std::unique_ptr<Ui::TFormCommunicationConfig> m_ui;
};
