#pragma once
// The bus as the program knows it: the network root, its devices, and per device the identity read
// from the module and the serial settings it is to be configured with.
#include "model/IOEnums.h"
#include "model/ModelNodes.h"
#include <QList>

class TDigitalInput;
class TDigitalOutput;
class TAnalogicInput;
class TAnalogicOutput;
class TTemperatureInput;

// Identity of a module (owner: its device).
class TRemoteIOInformation : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Model READ Model)
    Q_PROPERTY(qint32 RecordFlashCounter READ RecordFlashCounter)
    Q_PROPERTY(QString FirmwareVersion READ FirmwareVersion)

public:
    static constexpr int MaxDeviceNameLength = 16;

    explicit TRemoteIOInformation(TComponent* owner);

    QString Model() const { return m_model; }
    QString FirmwareVersion() const { return m_firmwareVersion; }
    QString DeviceName() const { return m_deviceName; }
    qint32 ModelCode() const { return m_modelCode; }
    qint32 RecordFlashCounter() const { return m_recordFlashCounter; }

    // Sets the model text and builds the device's channel groups from the device model table.
    void SetModelCode(qint32 code);
    // The register holds the version times 100: 307 gives "03.07".
    void SetFirmwareVersion(qint32 value);
    // A name longer than 16 characters is refused with a message.
    void SetDeviceName(const QString& name);
    void SetRecordFlashCounter(qint32 value) { m_recordFlashCounter = value; }

private:
    QString m_model;
    QString m_firmwareVersion;
    QString m_deviceName;
    qint32 m_modelCode = 0;
    qint32 m_recordFlashCounter = 0;
};

// Serial settings and slave address of a module (owner: its device).
class TRemoteIOComm : public TComponent {
    Q_OBJECT
    Q_PROPERTY(qint32 Address READ Address WRITE SetAddress)
    Q_PROPERTY(IOClasses::TBaudrate Baudrate READ Baudrate WRITE SetBaudrate)
    Q_PROPERTY(IOClasses::TParity Parity READ Parity WRITE SetParity)
    Q_PROPERTY(IOClasses::TStopbit Stopbit READ Stopbit WRITE SetStopbit)
    Q_CLASSINFO("default:Address", "1")
    Q_CLASSINFO("default:Baudrate", "BR_9600")
    Q_CLASSINFO("default:Parity", "None")
    Q_CLASSINFO("default:Stopbit", "SB_1")

public:
    static constexpr qint32 MinAddress = 1;
    static constexpr qint32 MaxAddress = 247;

    explicit TRemoteIOComm(TComponent* owner);

    // The address the module answers at now; every request goes there.
    qint32 CurrentAddress() const { return m_currentAddress; }
    void SetCurrentAddress(qint32 value) { m_currentAddress = value; }

    qint32 Address() const { return m_address; }
    TBaudrate Baudrate() const { return m_baudrate; }
    TParity Parity() const { return m_parity; }
    TStopbit Stopbit() const { return m_stopbit; }

    // 1 to 247; the device is then named "DAXO_" + address.
    void SetAddress(qint32 value);
    // A model-99 module (CAN gateway) runs at 9600 only.
    void SetBaudrate(TBaudrate value);
    // Two stop bits allow no parity.
    void SetParity(TParity value);
    // With parity, one stop bit only.
    void SetStopbit(TStopbit value);

private:
    TRemoteIO* Device() const;
    void RenameDevice();

    qint32 m_currentAddress = 0;
    qint32 m_address = 1;
    TBaudrate m_baudrate = TBaudrate::BR_9600;
    TParity m_parity = TParity::None;
    TStopbit m_stopbit = TStopbit::SB_1;
};

// One remote I/O module.
class TRemoteIO : public TComponentNode {
    Q_OBJECT
    Q_PROPERTY(IOClasses::TRemoteIOTimeOut Timeout READ Timeout WRITE SetTimeout)
    Q_PROPERTY(TRemoteIOInformation* Information READ Information)
    Q_PROPERTY(TRemoteIOComm* Comm READ Comm)

public:
    TRemoteIO(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    // Frees the groups, then the communication and information objects.
    ~TRemoteIO() override;

    TRemoteIOTimeOut Timeout() const { return m_timeout; }
    void SetTimeout(TRemoteIOTimeOut value) { m_timeout = value; }
    TRemoteIOInformation* Information() const { return m_information; }
    TRemoteIOComm* Comm() const { return m_comm; }

    TDigitalInput* DigitalInput() const { return m_digitalInput; }
    TDigitalOutput* DigitalOutput() const { return m_digitalOutput; }
    TAnalogicInput* AnalogicInput() const { return m_analogicInput; }
    TAnalogicOutput* AnalogicOutput() const { return m_analogicOutput; }
    TTemperatureInput* TemperatureInput() const { return m_temperatureInput; }

    bool Modified() const { return m_modified; }
    // The node shows the modified state.
    void SetModified(bool value);
    // Some of the module's settings could not be read: the device shows defaults for them, and writing
    // it back would put those defaults into the module. The node shows it.
    bool NotFullyRead() const { return m_notFullyRead; }
    void SetNotFullyRead(bool value);

    // The module's timeout register counts units of 50 ms (255 = none).
    void SetTimeoutFromDevice(qint32 value);
    qint32 GetDeviceTimeout() const;

    // Creates the missing groups of every kind whose count is above 0 and fills each with fresh
    // channels; a kind with count 0 keeps whatever group it has.
    void CreateChannels(int digitalInputs, int digitalOutputs, int temperatureInputs, int analogOutputs,
                        int analogInputs);

private:
    template <class Group> Group* EnsureGroup(Group*& field, const QString& name);
    void ShowState();

    TRemoteIOTimeOut m_timeout = TRemoteIOTimeOut::TM__050_MS;
    TRemoteIOInformation* m_information = nullptr;
    TRemoteIOComm* m_comm = nullptr;
    TDigitalInput* m_digitalInput = nullptr;
    TDigitalOutput* m_digitalOutput = nullptr;
    TAnalogicInput* m_analogicInput = nullptr;
    TAnalogicOutput* m_analogicOutput = nullptr;
    TTemperatureInput* m_temperatureInput = nullptr;
    bool m_modified = false;
    bool m_notFullyRead = false;
};

// The timeout register map, both ways.
TRemoteIOTimeOut TimeoutFromRegister(qint32 value);
qint32 RegisterFromTimeout(TRemoteIOTimeOut timeout);

// Root of the model: the devices found on the bus, in the order they were added.
class TRemoteIONetwork : public TComponentNode {
    Q_OBJECT

public:
    TRemoteIONetwork(TComponent* owner, TTreeNodes* treeNodes, TTreeNode* parentNode);
    ~TRemoteIONetwork() override;

    // A new device below the network's node, appended to the list.
    TRemoteIO* AddRemoteIO();
    // The first device that answers at this address now (its configured address does not count).
    TRemoteIO* FindByAddress(qint32 address) const;
    // Frees every device.
    void Clear();
    int GetCount() const { return int(m_devices.size()); }
    // An index outside the list raises the list index error.
    TRemoteIO* GetItem(int index) const;
    const QList<TRemoteIO*>& Devices() const { return m_devices; }

private:
    friend class TRemoteIO;
    QList<TRemoteIO*> m_devices;
};
