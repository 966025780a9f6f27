// The registry store reader (the INI-backed store the program reads the language value and the serial
// ports from). Every key that the store's section lines name is opened and each of its values read, as
// are the two keys the program opens.
#include "FuzzSupport.h"
#include "platform/Registry.h"

#include <QDir>
#include <QRegularExpression>

namespace {

void ReadKey(TRegistry& registry, TRootKey root, const QString& key) {
    registry.RootKey = root;
    if (!registry.OpenKeyReadOnly(key))
        return;
    for (const QString& name : registry.GetValueNames())
        registry.ReadString(name);
    registry.CloseKey();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool prepared = [] {
        // No serial ports: the synthesised key must not depend on the machine.
        const QString tty = QString::fromStdString(fuzz::PrivateFolder()) + QStringLiteral("/tty");
        fuzz::Check(QDir().mkpath(tty), "cannot make the tty folder");
        TRegistry::SetTtyClassFolder(tty);
        return true;
    }();
    (void)prepared;
    const std::string file = fuzz::WriteFile("registry.ini", {data, size});
    qputenv("VEXADAXO_REGISTRY", QByteArray::fromStdString(file));
    TRegistry registry;
    ReadKey(registry, TRootKey::HKEY_LOCAL_MACHINE,
            QStringLiteral("\\Software\\Korvane Devavuru\\Vexa Daxo Soft"));
    ReadKey(registry, TRootKey::HKEY_LOCAL_MACHINE, QStringLiteral("Hardware\\DeviceMap\\SerialComm"));

    static const QRegularExpression header(QStringLiteral("^\\s*\\[(HKEY_[A-Z_]+)\\\\(.*)\\]\\s*$"),
                                           QRegularExpression::MultilineOption);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (auto it = header.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (TRootKey root : {TRootKey::HKEY_CLASSES_ROOT, TRootKey::HKEY_CURRENT_USER,
                              TRootKey::HKEY_LOCAL_MACHINE, TRootKey::HKEY_USERS})
            ReadKey(registry, root, match.captured(2));
    }
    return 0;
}
