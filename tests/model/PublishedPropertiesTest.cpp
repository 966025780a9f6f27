// What the property inspector sees of the model: published names in order, enumeration names,
// declared defaults, and writes by name reaching the write routines.
#include "ModelFixture.h"
#include <QMetaEnum>

namespace {

// Published properties below QObject's own, ancestors first.
QStringList PublishedNames(const QMetaObject* meta) {
    QStringList names;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        names << QString::fromLatin1(meta->property(i).name());
    return names;
}

QStringList EnumNames(const QMetaObject* meta, const char* property) {
    const QMetaProperty p = meta->property(meta->indexOfProperty(property));
    EXPECT_TRUE(p.isEnumType()) << property;
    QStringList names;
    const QMetaEnum e = p.enumerator();
    for (int i = 0; i < e.keyCount(); ++i) {
        EXPECT_EQ(e.value(i), i) << property;
        names << QString::fromLatin1(e.key(i));
    }
    return names;
}

QString DeclaredDefault(const QMetaObject* meta, const char* property) {
    const int i = meta->indexOfClassInfo(QByteArray("default:").append(property).constData());
    return i < 0 ? QString() : QString::fromLatin1(meta->classInfo(i).value());
}

} // namespace

TEST(PublishedProperties, NamesInDeclarationOrder) {
    EXPECT_EQ(PublishedNames(&TRemoteIO::staticMetaObject),
              QStringList({"Name", "Tag", "Timeout", "Information", "Comm"}));
    EXPECT_EQ(PublishedNames(&TRemoteIOInformation::staticMetaObject),
              QStringList({"Name", "Tag", "Model", "RecordFlashCounter", "FirmwareVersion"}));
    EXPECT_EQ(PublishedNames(&TRemoteIOComm::staticMetaObject),
              QStringList({"Name", "Tag", "Address", "Baudrate", "Parity", "Stopbit"}));
    EXPECT_EQ(PublishedNames(&TTemperatureInput::staticMetaObject),
              QStringList({"Name", "Tag", "Termopar", "TermoparJunta"}));
    EXPECT_EQ(PublishedNames(&TChannelDigitalInput::staticMetaObject),
              QStringList({"InputFunction", "Preset", "EnabledAlarmOutput"}));
    EXPECT_EQ(PublishedNames(&TChannelAnalogicInput::staticMetaObject),
              QStringList({"Enabled", "InputFunction", "LimitMax", "LimitMin"}));
    EXPECT_EQ(PublishedNames(&TChannelAnalogicOutput::staticMetaObject),
              QStringList({"Enabled", "LimitMax"}));
    EXPECT_TRUE(PublishedNames(&TChannelDigitalOutput::staticMetaObject).isEmpty());
    EXPECT_TRUE(PublishedNames(&TChannelTemperature::staticMetaObject).isEmpty());

    const QMetaObject& info = TRemoteIOInformation::staticMetaObject;
    for (const char* name : {"Model", "RecordFlashCounter", "FirmwareVersion"})
        EXPECT_FALSE(info.property(info.indexOfProperty(name)).isWritable()) << name;
    const QMetaObject& device = TRemoteIO::staticMetaObject;
    for (const char* name : {"Information", "Comm"}) {
        const QMetaProperty p = device.property(device.indexOfProperty(name));
        EXPECT_FALSE(p.isWritable()) << name;
        EXPECT_TRUE(p.metaType().flags() & QMetaType::PointerToQObject) << name;
    }
    const QMetaObject& input = TChannelDigitalInput::staticMetaObject;
    EXPECT_EQ(input.property(input.indexOfProperty("EnabledAlarmOutput")).metaType(),
              QMetaType::fromType<bool>());
}

TEST(PublishedProperties, EnumerationValueNames) {
    const QMetaObject* comm = &TRemoteIOComm::staticMetaObject;
    EXPECT_EQ(EnumNames(comm, "Baudrate"),
              QStringList({"BR_4800", "BR_9600", "BR_19200", "BR_38400", "BR_57600"}));
    EXPECT_EQ(EnumNames(comm, "Parity"), QStringList({"None", "Odd", "Even"}));
    EXPECT_EQ(EnumNames(comm, "Stopbit"), QStringList({"SB_1", "SB_2"}));

    const QStringList timeouts = EnumNames(&TRemoteIO::staticMetaObject, "Timeout");
    ASSERT_EQ(timeouts.size(), 35);
    EXPECT_EQ(timeouts.mid(0, 3), QStringList({"TM__050_MS", "TM__100_MS", "TM__150_MS"}));
    EXPECT_EQ(timeouts.at(18), "TM__950_MS");
    EXPECT_EQ(timeouts.mid(19, 2), QStringList({"TM_001_S", "TM_002_S"}));
    EXPECT_EQ(timeouts.mid(30),
              QStringList({"TM_012_S", "TM_030_S", "TM_060_S", "TM_120_S", "TM_Sem_Timeout"}));

    const QMetaObject* temperature = &TTemperatureInput::staticMetaObject;
    EXPECT_EQ(EnumNames(temperature, "Termopar"),
              QStringList({"Tipo_J", "Tipo_K", "Tipo_T", "Tipo_E", "Tipo_S", "Tipo_R", "Tipo_B", "Tipo_N"}));
    EXPECT_EQ(EnumNames(temperature, "TermoparJunta"), QStringList({"Com_Junta_Fria", "Sem_Junta_Fria"}));
    EXPECT_EQ(EnumNames(&TChannelDigitalInput::staticMetaObject, "InputFunction"),
              QStringList({"Normal", "Counter", "Mixed"}));
    EXPECT_EQ(EnumNames(&TChannelAnalogicInput::staticMetaObject, "InputFunction"),
              QStringList({"ifTensao10v", "ifCorrente0to20ma"}));
}

TEST(PublishedProperties, DeclaredDefaults) {
    const QMetaObject* comm = &TRemoteIOComm::staticMetaObject;
    EXPECT_EQ(DeclaredDefault(comm, "Address"), "1");
    EXPECT_EQ(DeclaredDefault(comm, "Baudrate"), "BR_9600");
    EXPECT_EQ(DeclaredDefault(comm, "Parity"), "None");
    EXPECT_EQ(DeclaredDefault(comm, "Stopbit"), "SB_1");
    EXPECT_EQ(DeclaredDefault(&TTemperatureInput::staticMetaObject, "Termopar"), "Tipo_J");
    EXPECT_EQ(DeclaredDefault(&TTemperatureInput::staticMetaObject, "TermoparJunta"), "Sem_Junta_Fria");
}

using PropertyWriteTest = ModelTest;

TEST_F(PropertyWriteTest, WritesByNameGoThroughTheWriteRoutines) {
    TRemoteIO* device = AddDevice(2, 0);
    TRemoteIOComm* comm = device->Comm();

    WriteProperty(comm, "Address", 0);
    EXPECT_EQ(TakeOnlyMessage().text, "Out of range value. Min=1, Max=247");
    EXPECT_TRUE(WriteProperty(comm, "Address", 12));
    EXPECT_EQ(device->Name(), "DAXO_12");

    EXPECT_TRUE(WriteProperty(comm, "Parity", int(TParity::Even)));
    EXPECT_EQ(comm->Parity(), TParity::Even);
    EXPECT_EQ(comm->property("Parity").toInt(), int(TParity::Even));
    EXPECT_TRUE(WriteProperty(comm, "Stopbit", QVariant::fromValue(TStopbit::SB_2)));
    EXPECT_EQ(TakeOnlyMessage().text, "Stop bit can be only one with parity");

    EXPECT_TRUE(WriteProperty(device, "Timeout", QVariant::fromValue(TRemoteIOTimeOut::TM_Sem_Timeout)));
    EXPECT_EQ(device->GetDeviceTimeout(), 255);

    const QMetaProperty information =
        TRemoteIO::staticMetaObject.property(TRemoteIO::staticMetaObject.indexOfProperty("Information"));
    EXPECT_EQ(information.read(device).value<QObject*>(), device->Information());

    TChannelDigitalInput* input = device->DigitalInput()->GetChannel(0);
    EXPECT_TRUE(WriteProperty(input, "InputFunction", int(TDigitalInputFunction::Counter)));
    EXPECT_TRUE(WriteProperty(input, "Preset", 1234));
    EXPECT_EQ(input->Preset(), 1234);
    EXPECT_TRUE(device->Modified());
}
